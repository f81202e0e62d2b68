#include "app/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace orvet {

const char* const kUsage =
    "usage: orvet [--tos FILE] [--cart FILE] [--config FILE] [--run] [--no-sound]\n"
    "             [--ram 512k|1m|2m|4m] [--machine stfm|ste] [--fast-disk] [--frames N]\n"
    "             [--benchmark] [--load-state FILE]"
    " [--screenshot FILE] [--wav FILE] [DISK]\n"
    "       orvet --headless [the same options]\n"
    "  With no --headless Orvet opens its window; the command line overrides the settings\n"
    "  for this run only (a --tos image is not added to the saved ROM list).\n"
    "  DISK            a disk image for drive A: .st, .msa or .dim, also inside a zip\n"
    "                  archive named as a folder (games.zip/disk1.st)\n"
    "  --headless      run the machine with no window and no sound device, as fast as it goes\n"
    "  --config FILE   the settings file to read and write (default\n"
    "                  $XDG_CONFIG_HOME/orvet/orvet.ini, else ~/.config/orvet/orvet.ini)\n"
    "  --run           start the machine at once instead of showing the front end\n"
    "  --no-sound      open no sound device: the machine runs silent, paced by the host's\n"
    "                  clock at 50.06 frames a second\n"
    "  --tos FILE      the TOS ROM image (at most 256 KB); without it --headless runs the\n"
    "                  Orvet built-in ROM and the window the ROM list's active TOS ROM,\n"
    "                  the built-in one until another is chosen\n"
    "  --cart FILE     a cartridge image (at most 128 KB)\n"
    "  --ram SIZE      memory: 512k, 1m, 2m (the default) or 4m\n"
    "  --machine KIND  stfm (the default) or ste\n"
    "  --fast-disk     floppy commands complete at once instead of at the drive's speed\n"
    "  --load-state FILE  start from a save state made on the same model, RAM size and ROM\n"
    "                  (a quick-save slot is states/state_N.ost in the data folder); a state\n"
    "                  that cannot be restored is refused with the reason\n"    "  --frames N      how many 50 Hz frames to run (headless: default 50, one second of the\n"
    "                  machine; in the window the program ends after N frames)\n"
    "  --benchmark     print frames, host seconds, frames per second, the multiple of real\n"
    "                  time and the emulated processor speed (in the window also the frames\n"
    "                  presented, sound underruns and the processor time Orvet used)\n"
    "  --screenshot FILE  write the last frame's picture as a PNG file (into a folder as\n"
    "                  orvet.png; .png is added to a name without an extension); in the window\n"
    "                  the picture as it was presented on the screen, at its size there\n"
    "  --wav FILE      record the machine's sound as a WAV file (44,100 Hz, mono, 16-bit)\n"
    "  --help          this text\n";

std::string ScreenshotFilePath(const std::string& requested) {
    std::error_code ignored;
    std::filesystem::path path(requested);
    if (std::filesystem::is_directory(path, ignored)) return (path / "orvet.png").string();
    if (!path.has_extension()) path += ".png";
    return path.string();
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                            std::string& error) {
    CommandLine line;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        auto value = [&]() -> const std::string* {
            if (index + 1 >= arguments.size()) {
                error = argument + " needs a value";
                return nullptr;
            }
            return &arguments[++index];
        };
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--headless") {
            line.headless = true;
        } else if (argument == "--benchmark") {
            line.benchmark = true;
        } else if (argument == "--run") {
            line.run = true;
        } else if (argument == "--no-sound") {
            line.noSound = true;
        } else if (argument == "--fast-disk") {
            line.fastDisk = true;
        } else if (argument == "--tos" || argument == "--cart" || argument == "--screenshot" ||
                   argument == "--wav" || argument == "--config" ||
                   argument == "--load-state") {
            const std::string* path = value();
            if (!path) return std::nullopt;
            if (path->empty()) {
                error = argument + " needs a file name";
                return std::nullopt;
            }
            if (argument == "--tos") line.tosPath = *path;
            if (argument == "--cart") line.cartridgePath = *path;
            if (argument == "--screenshot") line.screenshotPath = ScreenshotFilePath(*path);
            if (argument == "--wav") line.wavPath = *path;
            if (argument == "--config") line.configPath = *path;
            if (argument == "--load-state") line.loadStatePath = *path;
        } else if (argument == "--ram") {
            const std::string* size = value();
            if (!size) return std::nullopt;
            const char* sizes[] = {"512k", "1m", "2m", "4m"};
            bool known = false;
            for (unsigned choice = 0; choice < 4; ++choice) {
                if (*size == sizes[choice]) line.ramSizeIndex = choice, known = true;
            }
            line.ramGiven = true;
            if (!known) {
                error = "--ram takes 512k, 1m, 2m or 4m, not \"" + *size + "\"";
                return std::nullopt;
            }
        } else if (argument == "--machine") {
            const std::string* kind = value();
            if (!kind) return std::nullopt;
            if (*kind != "stfm" && *kind != "ste") {
                error = "--machine takes stfm or ste, not \"" + *kind + "\"";
                return std::nullopt;
            }
            line.ste = *kind == "ste";
            line.machineGiven = true;
        } else if (argument == "--frames") {
            const std::string* count = value();
            if (!count) return std::nullopt;
            char* end = nullptr;
            errno = 0;
            unsigned long long frames = std::strtoull(count->c_str(), &end, 10);
            if (count->empty() || *end != '\0' || errno != 0 || frames == 0 || (*count)[0] == '-' ||
                frames > 100000000ull) {
                error = "--frames takes a whole number from 1 to 100000000, not \"" + *count + "\"";
                return std::nullopt;
            }
            line.frames = frames;
            line.framesGiven = true;
        } else if (!argument.empty() && argument[0] != '-' && line.diskPath.empty()) {
            line.diskPath = argument;
        } else {
            error = "unknown argument \"" + argument + "\" (orvet --help lists the options)";
            return std::nullopt;
        }
    }
    return line;
}

}  // namespace orvet
