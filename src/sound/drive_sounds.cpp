#include "sound/drive_sounds.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvet {
namespace {

constexpr double kRate = 44100.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

constexpr int kMotorRunningLength = 43252;
constexpr int kSpinUpLength = 17420;
constexpr int kShortStepLength = 2211;
constexpr int kLongSeekLength = 13539;
constexpr int kMotorStopLength = 13182;

// The motor loop is about one second; every periodic part of it makes a whole number of cycles
// over the loop, so it repeats without a seam.
constexpr double kLoopCycleHz = kRate / kMotorRunningLength;
// 300 rpm: the disk's rotation, heard as the swish of the jacket rising and falling.
constexpr int kRotationCyclesPerLoop = 5;
// The spindle motor's hum and its harmonics, about 100, 200, 300 and 600 Hz.
struct HumPartial {
    int cyclesPerLoop;
    double amplitude;
};
constexpr std::array<HumPartial, 4> kHumPartials = {{
    {98, 400.0},
    {196, 180.0},
    {294, 100.0},
    {588, 55.0},
}};

// Stepping at the 3 ms rate TOS programs: a long seek is a rattle of about 80 clicks.
constexpr int kSeekStepSamples = 132;
constexpr int kSeekSteps = 80;

// A fixed generator, so the clips are the same on every run.
struct NoiseSource {
    uint32_t state;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;  // -1 ... 1
    }
};

double RootMeanSquare(const std::vector<double>& signal) {
    double sum = 0.0;
    for (double value : signal) sum += value * value;
    return std::sqrt(sum / static_cast<double>(signal.size()));
}

void ScaleToRms(std::vector<double>& signal, double target) {
    const double rms = RootMeanSquare(signal);
    if (rms <= 0.0) return;
    for (double& value : signal) value *= target / rms;
}

// Filters noise around the loop twice and keeps the second turn: the filter's state at the end
// of the loop is then the state at its start, and the loop has no seam.
template <typename Filter>
std::vector<double> CircularNoise(uint32_t seed, Filter filter) {
    NoiseSource noise{seed};
    std::vector<double> white(kMotorRunningLength);
    for (double& value : white) value = noise.next();
    std::vector<double> filtered(kMotorRunningLength);
    for (int turn = 0; turn < 2; ++turn) {
        for (int index = 0; index < kMotorRunningLength; ++index) {
            filtered[index] = filter(white[index]);
        }
    }
    return filtered;
}

// The noisy part of the running drive: a low rumble of the mechanism, and the disk brushing its
// jacket, louder and softer with each turn.
std::vector<double> RunningNoise() {
    const double rumbleCoefficient = 1.0 - std::exp(-kTwoPi * 150.0 / kRate);
    double rumbleState = 0.0;
    std::vector<double> rumble = CircularNoise(0x2545F491u, [&](double input) {
        rumbleState += rumbleCoefficient * (input - rumbleState);
        return rumbleState;
    });
    ScaleToRms(rumble, 150.0);

    // A resonator around 1.5 kHz.
    const double radius = 0.97;
    const double feedback = 2.0 * radius * std::cos(kTwoPi * 1500.0 / kRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    std::vector<double> swish = CircularNoise(0x9E3779B9u, [&](double input) {
        const double output = input + feedback * previous - radius * radius * beforePrevious;
        beforePrevious = previous;
        previous = output;
        return output;
    });
    ScaleToRms(swish, 150.0);

    std::vector<double> noise(kMotorRunningLength);
    for (int index = 0; index < kMotorRunningLength; ++index) {
        const double turn = kTwoPi * kRotationCyclesPerLoop * index / kMotorRunningLength;
        noise[index] = rumble[index] + swish[index] * (0.7 + 0.3 * std::sin(turn));
    }
    return noise;
}

// The hum at a speed of 1 with every partial at phase 0 when the loop starts.
double Hum(int index) {
    double value = 0.0;
    for (const HumPartial& partial : kHumPartials) {
        value += partial.amplitude *
                 std::sin(kTwoPi * partial.cyclesPerLoop * index / kMotorRunningLength);
    }
    return value;
}

// One step of the head carriage: the stepper's sharp tick with its ring, and the thump of the
// carriage. Every part starts at 0, so the click's attack is not smeared by the seam smoothing.
double StepClick(int sinceStart, double loudness, NoiseSource& noise) {
    if (sinceStart < 0) return 0.0;
    const double time = sinceStart / kRate;
    const double tick = 7800.0 * std::exp(-sinceStart / 70.0) * std::sin(kTwoPi * 1850.0 * time) +
                        4500.0 * std::exp(-sinceStart / 45.0) * std::sin(kTwoPi * 3700.0 * time);
    const double thump = 3900.0 * std::exp(-sinceStart / 350.0) * std::sin(kTwoPi * 420.0 * time);
    const double rasp =
        sinceStart == 0 ? 0.0 : 2200.0 * std::exp(-sinceStart / 20.0) * noise.next();
    return loudness * (tick + thump + rasp);
}

std::vector<int16_t> ToSamples(const std::vector<double>& signal) {
    std::vector<int16_t> samples(signal.size());
    for (size_t index = 0; index < signal.size(); ++index) {
        const double rounded = std::round(signal[index]);
        samples[index] = static_cast<int16_t>(std::clamp(rounded, -32768.0, 32767.0));
    }
    return samples;
}

// The running motor at loop position `index` (any integer), its noise taken from `noise`.
double RunningAt(const std::vector<double>& noise, int index) {
    const int wrapped = ((index % kMotorRunningLength) + kMotorRunningLength) % kMotorRunningLength;
    return Hum(wrapped) + noise[wrapped];
}

// Spin-up: the head loads with a clack while the motor accelerates, its hum rising in pitch and
// loudness until it is the running hum. The hum's phases are laid out backwards from the end so
// that the clip runs into the running loop's start without a break.
std::vector<double> SpinUp(const std::vector<double>& noise) {
    std::vector<double> speed(kSpinUpLength);
    for (int index = 0; index < kSpinUpLength; ++index) {
        const double progress = static_cast<double>(index + 1) / kSpinUpLength;
        speed[index] = (1.0 - std::exp(-4.0 * progress)) / (1.0 - std::exp(-4.0));
    }
    std::vector<double> clip(kSpinUpLength, 0.0);
    for (const HumPartial& partial : kHumPartials) {
        const double radiansPerSample = kTwoPi * partial.cyclesPerLoop * kLoopCycleHz / kRate;
        double phase = 0.0;
        for (int index = kSpinUpLength - 1; index >= 0; --index) {
            phase -= radiansPerSample * speed[index];
            clip[index] += partial.amplitude * std::pow(speed[index], 1.5) * std::sin(phase);
        }
    }
    NoiseSource clackNoise{0x1234567u};
    for (int index = 0; index < kSpinUpLength; ++index) {
        const int loopIndex = index - kSpinUpLength;  // the loop's last stretch
        clip[index] += noise[loopIndex + kMotorRunningLength] * speed[index] * speed[index];
        const double time = index / kRate;
        clip[index] += 6000.0 * std::exp(-index / 600.0) * std::sin(kTwoPi * 140.0 * time);
        clip[index] += 0.5 * StepClick(index, 1.0, clackNoise);
    }
    return clip;
}

// A single step over the running motor.
std::vector<double> ShortStep(const std::vector<double>& noise) {
    std::vector<double> clip(kShortStepLength);
    NoiseSource clickNoise{0xBADC0DEu};
    for (int index = 0; index < kShortStepLength; ++index) {
        clip[index] =
            RunningAt(noise, index - kShortStepLength) + StepClick(index, 1.0, clickNoise);
    }
    return clip;
}

// A seek across the disk: a rattle of steps 3 ms apart, each a little louder or softer than the
// last, a firmer click as the head settles on its track, then the motor alone.
std::vector<double> LongSeek(const std::vector<double>& noise) {
    std::vector<double> clip(kLongSeekLength);
    for (int index = 0; index < kLongSeekLength; ++index) {
        clip[index] = RunningAt(noise, index - kLongSeekLength);
    }
    NoiseSource variation{0xC0FFEEu};
    NoiseSource clickNoise{0xFACADEu};
    auto addClick = [&](int start, double loudness) {
        const int end = std::min(kLongSeekLength, start + 1500);
        for (int index = start; index < end; ++index) {
            clip[index] += StepClick(index - start, loudness, clickNoise);
        }
    };
    for (int step = 0; step < kSeekSteps; ++step) {
        addClick(step * kSeekStepSamples, 0.55 + 0.1 * variation.next());
    }
    addClick(kSeekSteps * kSeekStepSamples + 220, 1.0);
    return clip;
}

// The motor runs down: the head unloads with a soft thump and the hum falls in pitch and fades
// to nothing, so silence follows without a click.
std::vector<double> MotorStop(const std::vector<double>& noise) {
    std::vector<double> clip(kMotorStopLength, 0.0);
    std::vector<double> speed(kMotorStopLength);
    for (int index = 0; index < kMotorStopLength; ++index) {
        const double progress = static_cast<double>(index) / (kMotorStopLength - 1);
        speed[index] = (std::exp(-3.5 * progress) - std::exp(-3.5)) / (1.0 - std::exp(-3.5));
    }
    for (const HumPartial& partial : kHumPartials) {
        const double radiansPerSample = kTwoPi * partial.cyclesPerLoop * kLoopCycleHz / kRate;
        double phase = 0.0;
        for (int index = 0; index < kMotorStopLength; ++index) {
            clip[index] += partial.amplitude * std::pow(speed[index], 1.5) * std::sin(phase);
            phase += radiansPerSample * speed[index];
        }
    }
    for (int index = 0; index < kMotorStopLength; ++index) {
        const double time = index / kRate;
        clip[index] += noise[index] * speed[index] * speed[index];
        clip[index] += 1800.0 * std::exp(-index / 300.0) * std::sin(kTwoPi * 180.0 * time);
    }
    return clip;
}

}  // namespace

DriveSoundClips BuildDriveSoundClips() {
    const std::vector<double> noise = RunningNoise();
    std::vector<double> motor(kMotorRunningLength);
    for (int index = 0; index < kMotorRunningLength; ++index)
        motor[index] = RunningAt(noise, index);

    DriveSoundClips clips;
    auto set = [&](DriveClip clip, const std::vector<double>& signal, DriveClip next) {
        clips[static_cast<size_t>(clip)] = {ToSamples(signal), next};
    };
    set(DriveClip::MotorRunning, motor, DriveClip::MotorRunning);
    set(DriveClip::SpinUp, SpinUp(noise), DriveClip::MotorRunning);
    set(DriveClip::ShortStep, ShortStep(noise), DriveClip::MotorRunning);
    set(DriveClip::LongSeek, LongSeek(noise), DriveClip::MotorRunning);
    set(DriveClip::MotorStop, MotorStop(noise), DriveClip::None);
    return clips;
}

const DriveSoundClips& DriveSoundClipSet() {
    static const DriveSoundClips clips = BuildDriveSoundClips();
    return clips;
}

void StartDriveSound(DriveSoundPlayer& player, DriveClip clip) {
    if (clip == DriveClip::None) return;
    player.current = clip;
    player.positions[static_cast<std::size_t>(clip)] = 0;
    player.clipChanged = true;
}

void StopDriveMotorSound(DriveSoundPlayer& player) {
    player.current = DriveClip::MotorStop;
    player.clipChanged = true;
}

void DriveSoundsRender(DriveSoundPlayer& player, int32_t* mix, int count) {
    const DriveSoundClips& clips = DriveSoundClipSet();
    int made = 0;
    while (made < count && player.current != DriveClip::None) {
        const size_t clipIndex = static_cast<size_t>(player.current);
        if (clipIndex >= kDriveClipCount) {  // a state nobody could have set on purpose
            player.current = DriveClip::None;
            break;
        }
        const DriveSoundClip& clip = clips[clipIndex];
        const int length = static_cast<int>(clip.samples.size());
        int32_t& position = player.positions[clipIndex];
        if (position < 0 || position >= length) position = 0;
        if (player.clipChanged) {
            player.seamOffset += player.lastSample - clip.samples[position];
            player.clipChanged = false;
        }
        const int run = std::min(count - made, length - position);
        const int16_t* source = clip.samples.data() + position;
        int32_t seamOffset = player.seamOffset;
        int32_t sample = player.lastSample;
        for (int index = 0; index < run; ++index) {
            sample = source[index] + seamOffset;
            mix[made + index] += sample;
            seamOffset = seamOffset * 63 / 64;
        }
        player.seamOffset = seamOffset;
        player.lastSample = sample;
        position += run;
        made += run;
        if (position >= length) {
            position = 0;
            player.current = clip.next;
            // Every clip's end runs into the start of the next; only a clip that was cut off
            // earlier resumes somewhere else.
            if (clip.next != DriveClip::None) {
                player.clipChanged = player.positions[static_cast<size_t>(clip.next)] != 0;
            }
        }
    }
    if (player.current == DriveClip::None) {
        player.lastSample = 0;
        player.seamOffset = 0;
        player.clipChanged = false;
    }
}

}  // namespace orvet
