// The stream a save state is written to and read from. One function per chip walks the chip's
// values through it (chip_state.h): saving, the stream reads each value and appends it; loading,
// it takes the next value from the file and stores it. Values are little-endian and fixed in
// width whatever the host, so a state moves between builds of the same format.
//
// A load never trusts the file: a value outside what the chip can hold (an enum beyond its last
// member, a count beyond its buffer) marks the stream failed, and from then on nothing more is
// read. The caller commits nothing from a failed stream.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace orvet {

class StateStream {
public:
    // Saving appends to `out`. The chip functions take their chip by reference either way; a
    // saving stream only ever reads it.
    static StateStream ForSaving(std::vector<uint8_t>& out) { return StateStream(&out, {}); }
    // Loading reads one section's payload, written by the given version of its chip function.
    static StateStream ForLoading(std::span<const uint8_t> payload, uint32_t version) {
        StateStream stream(nullptr, payload);
        stream.version_ = version;
        return stream;
    }

    bool saving() const { return out_ != nullptr; }
    bool loading() const { return out_ == nullptr; }
    // The layout version of the section being read (the current one when saving).
    uint32_t version() const { return version_; }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    // Bytes of the payload not yet read.
    size_t remaining() const { return input_.size() - position_; }

    template <typename T>
        requires std::is_integral_v<T>
    void value(T& field) {
        using Unsigned = std::make_unsigned_t<T>;
        if (saving()) {
            Unsigned bits = static_cast<Unsigned>(field);
            for (size_t byte = 0; byte < sizeof(T); ++byte) {
                out_->push_back(static_cast<uint8_t>(bits >> (8 * byte)));
            }
            return;
        }
        const uint8_t* source = take(sizeof(T));
        if (!source) return;
        Unsigned bits = 0;
        for (size_t byte = 0; byte < sizeof(T); ++byte) {
            bits = static_cast<Unsigned>(bits | Unsigned{source[byte]} << (8 * byte));
        }
        field = static_cast<T>(bits);
    }

    void value(bool& field) {
        uint8_t byte = field ? 1 : 0;
        value(byte);
        if (loading()) {
            require(byte <= 1, "a flag that is neither 0 nor 1");
            field = byte == 1;
        }
    }

    // An enumeration whose members run from `first` to `last` without gaps.
    template <typename E>
        requires std::is_enum_v<E>
    void value(E& field, E first, E last) {
        using Underlying = std::underlying_type_t<E>;
        Underlying raw = static_cast<Underlying>(field);
        value(raw);
        if (loading()) {
            require(raw >= static_cast<Underlying>(first) && raw <= static_cast<Underlying>(last),
                    "a value outside its range");
            if (!failed()) field = static_cast<E>(raw);
        }
    }

    template <typename T, size_t N>
    void values(std::array<T, N>& fields) {
        values(std::span<T>(fields));
    }
    template <typename T, size_t N>
    void values(T (&fields)[N]) {
        values(std::span<T>(fields, N));
    }
    // A run of integers, copied as one block where the host's byte order is the file's.
    template <typename T>
        requires std::is_integral_v<T>
    void values(std::span<T> fields) {
        if constexpr (std::endian::native == std::endian::little && !std::is_same_v<T, bool>) {
            bytes(reinterpret_cast<uint8_t*>(fields.data()), fields.size_bytes());
        } else {
            for (T& field : fields) value(field);
        }
    }

    // Raw bytes, as they are.
    void bytes(uint8_t* data, size_t count) {
        if (saving()) {
            out_->insert(out_->end(), data, data + count);
            return;
        }
        if (const uint8_t* source = take(count)) std::memcpy(data, source, count);
    }

    // Loading: the next `count` bytes of the payload, in place, for a block the caller copies
    // where it belongs once the whole state has been checked (empty when the payload is short).
    std::span<const uint8_t> view(size_t count) {
        const uint8_t* source = take(count);
        return source ? std::span<const uint8_t>(source, count) : std::span<const uint8_t>();
    }

    // A byte string of at most `limit` bytes, its length first.
    void text(std::string& field, uint32_t limit);
    // A byte vector of at most `limit` bytes, its length first.
    void byteVector(std::vector<uint8_t>& field, uint32_t limit);

    // What a chip knows must hold of the values just read. Saving, nothing is checked: the
    // machine's own state is taken as it is.
    void require(bool condition, const char* what) {
        if (loading() && !condition && error_.empty()) error_ = what;
    }

private:
    StateStream(std::vector<uint8_t>* out, std::span<const uint8_t> input)
        : out_(out), input_(input) {}

    const uint8_t* take(size_t count) {
        if (failed()) return nullptr;
        if (count > remaining()) {
            error_ = "a section shorter than its contents";
            return nullptr;
        }
        const uint8_t* source = input_.data() + position_;
        position_ += count;
        return source;
    }

    std::vector<uint8_t>* out_ = nullptr;
    std::span<const uint8_t> input_;
    size_t position_ = 0;
    uint32_t version_ = 1;
    std::string error_;
};

}  // namespace orvet
