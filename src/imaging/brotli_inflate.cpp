#include "imaging/brotli_inflate.h"

#include <brotli/decode.h>

#include <memory>

namespace imaging {

bool inflateBrotli(const uint8_t* data, size_t size, size_t limit, std::string& out)
{
    struct Free {
        void operator()(BrotliDecoderState* s) const { BrotliDecoderDestroyInstance(s); }
    };
    std::unique_ptr<BrotliDecoderState, Free> state(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr));
    if (!state)
        return false;
    out.clear();
    size_t inLeft = size;
    const uint8_t* in = data;
    uint8_t chunk[16384];
    for (;;) {
        size_t outLeft = sizeof chunk;
        uint8_t* next = chunk;
        const BrotliDecoderResult r =
            BrotliDecoderDecompressStream(state.get(), &inLeft, &in, &outLeft, &next, nullptr);
        const size_t produced = sizeof chunk - outLeft;
        if (produced > limit - out.size())
            return false;
        out.append(reinterpret_cast<const char*>(chunk), produced);
        if (r == BROTLI_DECODER_RESULT_SUCCESS)
            return true;
        if (r != BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT)
            return false;  // bad data, or data that ends early
    }
}

}  // namespace imaging
