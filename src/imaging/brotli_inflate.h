#pragma once
// Brotli streams (JPEG XL's compressed boxes) through libbrotlidec, bounded.
// No Qt: daredazi-info uses it too.
#include <cstddef>
#include <cstdint>
#include <string>

namespace imaging {

// Inflates data into out; false when the stream is bad, ends early or would
// inflate past limit bytes.
bool inflateBrotli(const uint8_t* data, size_t size, size_t limit, std::string& out);

}  // namespace imaging
