#include "machine/state_stream.h"

namespace orvet {

void StateStream::text(std::string& field, uint32_t limit) {
    uint32_t length = static_cast<uint32_t>(field.size());
    value(length);
    if (saving()) {
        out_->insert(out_->end(), field.begin(), field.end());
        return;
    }
    require(length <= limit, "a text longer than it can be");
    if (const uint8_t* source = failed() ? nullptr : take(length)) {
        field.assign(reinterpret_cast<const char*>(source), length);
    }
}

void StateStream::byteVector(std::vector<uint8_t>& field, uint32_t limit) {
    uint32_t length = static_cast<uint32_t>(field.size());
    value(length);
    if (saving()) {
        out_->insert(out_->end(), field.begin(), field.end());
        return;
    }
    require(length <= limit, "a block larger than it can be");
    if (const uint8_t* source = failed() ? nullptr : take(length)) {
        field.assign(source, source + length);
    }
}

}  // namespace orvet
