#include "imaging/jpeg_dc_look.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "imaging/decode_budget.h"
#include "imaging/jpeg_library.h"
#include "imaging/large_image.h"

namespace imaging {

namespace {

// What the walk needs from the file's header, read by libjpeg.
struct Component {
    int index = 0;  // in the frame (0 is luma)
    int h = 1, v = 1;
    int quant = 1;  // the DC quantisation step
    int dcTable = 0, acTable = 0;
};

struct Layout {
    int width = 0, height = 0;
    int components = 0;  // in the frame and in the scan
    Component scan[3];   // in the scan's order
    int maxH = 1, maxV = 1;
    J_COLOR_SPACE colour = JCS_UNKNOWN;
    unsigned restartInterval = 0;
    size_t entropyStart = 0;
    JHUFF_TBL dc[NUM_HUFF_TBLS]{}, ac[NUM_HUFF_TBLS]{};
    bool hasDc[NUM_HUFF_TBLS]{}, hasAc[NUM_HUFF_TBLS]{};
};

// No C++ object lives across the jump back from a libjpeg error.
bool readLayout(const uchar* data, size_t size, Layout& out)
{
    jpeg_decompress_struct cinfo{};
    jpeg::ErrorManager err{};
    jpeg::useErrorManager(cinfo, err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    bool ok = !cinfo.progressive_mode && !cinfo.arith_code && cinfo.data_precision == 8 &&
              cinfo.comps_in_scan == cinfo.num_components && (cinfo.num_components == 1 || cinfo.num_components == 3) &&
              cinfo.image_width > 0 && cinfo.image_height > 0 && cinfo.image_width <= 65535 &&
              cinfo.image_height <= 65535 &&
              (cinfo.jpeg_color_space == JCS_GRAYSCALE || cinfo.jpeg_color_space == JCS_YCbCr ||
               cinfo.jpeg_color_space == JCS_RGB);
    if (ok) {
        out.width = static_cast<int>(cinfo.image_width);
        out.height = static_cast<int>(cinfo.image_height);
        out.components = cinfo.num_components;
        out.colour = cinfo.jpeg_color_space;
        out.restartInterval = cinfo.restart_interval;
        out.entropyStart = static_cast<size_t>(cinfo.src->next_input_byte - data);
        for (int i = 0; i < cinfo.comps_in_scan && ok; ++i) {
            const jpeg_component_info* c = cinfo.cur_comp_info[i];
            const JQUANT_TBL* q =
                c && c->quant_tbl_no >= 0 && c->quant_tbl_no < NUM_QUANT_TBLS ? cinfo.quant_tbl_ptrs[c->quant_tbl_no] : nullptr;
            ok = q && c->dc_tbl_no >= 0 && c->dc_tbl_no < NUM_HUFF_TBLS && c->ac_tbl_no >= 0 &&
                 c->ac_tbl_no < NUM_HUFF_TBLS && cinfo.dc_huff_tbl_ptrs[c->dc_tbl_no] &&
                 cinfo.ac_huff_tbl_ptrs[c->ac_tbl_no] && c->component_index >= 0 && c->component_index < 3;
            if (!ok)
                break;
            Component& s = out.scan[i];
            s.index = c->component_index;
            s.h = cinfo.num_components == 1 ? 1 : c->h_samp_factor;
            s.v = cinfo.num_components == 1 ? 1 : c->v_samp_factor;
            s.quant = q->quantval[0];
            s.dcTable = c->dc_tbl_no;
            s.acTable = c->ac_tbl_no;
            out.dc[s.dcTable] = *cinfo.dc_huff_tbl_ptrs[s.dcTable];
            out.ac[s.acTable] = *cinfo.ac_huff_tbl_ptrs[s.acTable];
            out.hasDc[s.dcTable] = out.hasAc[s.acTable] = true;
            out.maxH = std::max(out.maxH, s.h);
            out.maxV = std::max(out.maxV, s.v);
        }
        ok = ok && out.entropyStart <= size;
    }
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

// Codes of up to this many bits are read by one look-up.
constexpr int kLook = 12;

// A Huffman table for the walk. For a DC table a quick entry holds the
// code's length and the size of the difference after it. An AC table's
// entry passes over every whole coefficient (code and value) the next
// kLook bits hold, up to an end of block, at once; and on its own the first,
// which may run past them (see acStep). Nought: a longer code, or none.
struct Table {
    std::array<uint16_t, 1 << kLook> quick{};
    std::array<uint32_t, 1 << kLook> steps{};
    int32_t maxCode[17]{};  // the largest code of each length; -1 for none
    int32_t offset[17]{};   // from a code of that length to its value's place
    uint8_t values[256]{};
    int count = 0;
    bool ac = false;

    // The code the `width` bits start with; false for none.
    bool code(uint32_t bits, int width, int& length, int& symbol) const
    {
        for (int l = 1; l <= width; ++l) {
            const int32_t c = static_cast<int32_t>(bits >> (width - l));
            if (maxCode[l] >= 0 && c <= maxCode[l]) {
                const int32_t i = offset[l] + c;
                if (i < 0 || i >= count)
                    return false;
                length = l;
                symbol = values[i];
                return true;
            }
        }
        return false;
    }

    bool build(const JHUFF_TBL& t, bool isAc)
    {
        ac = isAc;
        count = 0;
        for (int l = 1; l <= 16; ++l)
            count += t.bits[l];
        if (count > 256)
            return false;
        std::memcpy(values, t.huffval, sizeof values);
        if (!ac)
            for (int i = 0; i < count; ++i)
                if (values[i] > 15)
                    return false;
        uint32_t code = 0;
        int k = 0;
        for (int l = 1; l <= 16; ++l) {
            const int n = t.bits[l];
            maxCode[l] = n ? static_cast<int32_t>(code + static_cast<uint32_t>(n) - 1) : -1;
            offset[l] = k - static_cast<int32_t>(code);
            for (int i = 0; i < n; ++i, ++code, ++k) {
                if (code >= (1u << l))
                    return false;  // more codes than the length has
                if (!ac && l <= kLook) {
                    const uint32_t first = code << (kLook - l);
                    for (uint32_t j = 0; j < (1u << (kLook - l)); ++j)
                        quick[first + j] = static_cast<uint16_t>(l | (values[k] << 8));
                }
            }
            // No code may be all ones, as libjpeg holds.
            if (code >= (1u << l))
                return false;
            code <<= 1;
        }
        if (ac)
            for (uint32_t i = 0; i < steps.size(); ++i)
                steps[i] = acStep(i);
        return true;
    }

    // An AC symbol's bits (code and value) and how far it moves along the
    // block: a run of noughts and the coefficient, sixteen noughts, or to
    // the block's end (64; libjpeg takes any size-nought symbol but sixteen
    // noughts for one).
    static void move(int length, int symbol, int& bits, int& advance)
    {
        const int run = symbol >> 4, size = symbol & 15;
        bits = length + size;
        advance = size ? run + 1 : (run == 15 ? 16 : 64);
    }

    // The entry for the next kLook bits: bits 0-4 those the whole
    // coefficients take, 5-11 how far they move, 12-18 that plus one when
    // an end of block follows them (a step the block must have room for);
    // bits 19-24 and 25-31 the same two for the first coefficient alone.
    uint32_t acStep(uint32_t window) const
    {
        uint32_t e = 0;
        int length, symbol, bits, advance;
        if (code(window, kLook, length, symbol)) {
            move(length, symbol, bits, advance);
            e |= static_cast<uint32_t>(bits) << 19 | static_cast<uint32_t>(advance) << 25;
        }
        int used = 0, moved = 0;
        bool end = false;
        while (!end && code(window & ((1u << (kLook - used)) - 1), kLook - used, length, symbol)) {
            move(length, symbol, bits, advance);
            end = advance == 64;
            if (used + bits > kLook || (!end && moved + advance > 63))
                break;
            used += bits;
            if (!end)
                moved += advance;
        }
        // Whole coefficients, how far they move, and that plus one when an
        // end of block follows them.
        return e | static_cast<uint32_t>(used) | static_cast<uint32_t>(moved) << 5 |
               static_cast<uint32_t>(moved + (end && used ? 1 : 0)) << 12;
    }
};
// Bits of the entropy-coded data, read where they lie in the file: a 64-bit
// window of data bytes from a byte on, and the bits of it used. Before each
// look at most 48 are used, so 16 are always there. A 0xFF data byte is
// stored as 0xFF 0x00; where the window holds one, `skip` gives for each of
// its bytes where it lies after the first. Any other byte after a 0xFF is
// a marker, which ends the data: the window reads noughts from there on,
// and `end` is set to it.
struct Bits {
    const uint8_t* p = nullptr;    // the stored byte of the window's first
    const uint8_t* end = nullptr;  // the end of the data: a marker, or the file's end
    uint64_t window = 0;
    unsigned used = 0;
    bool plain = true;  // no stuffing in the window
    uint8_t skip[9]{};

    void at(const uint8_t* q, const uint8_t* fileEnd)
    {
        p = q;
        end = fileEnd;
        used = 0;
        load();
    }
    void load()
    {
        if (end - p >= 8) {
            uint64_t v;
            std::memcpy(&v, p, 8);
            // No byte of the eight is 0xFF.
            const uint64_t inverted = ~v;
            if (!((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull)) {
                window = __builtin_bswap64(v);
                plain = true;
                return;
            }
        }
        uint64_t w = 0;
        const uint8_t* q = p;
        for (int n = 0; n < 8; ++n) {
            skip[n] = static_cast<uint8_t>(q - p);
            uint8_t byte = 0;
            if (q < end) {
                byte = *q;
                if (byte != 0xFF) {
                    ++q;
                } else if (end - q >= 2 && q[1] == 0x00) {
                    q += 2;
                } else {
                    end = q;  // a marker (or a last 0xFF)
                    byte = 0;
                }
            }
            w = (w << 8) | byte;
        }
        skip[8] = static_cast<uint8_t>(q - p);
        window = w;
        plain = false;
    }
    void keepFull()
    {
        if (used > 48) {
            // A code and its value may have taken bits past the window,
            // whose bytes may be stuffed too.
            if (used >= 64) {
                p += plain ? 8 : skip[8];
                used -= 64;
                load();
                if (used <= 48)
                    return;
            }
            const unsigned bytes = used >> 3;
            p += plain ? bytes : skip[bytes];
            used &= 7;
            load();
        }
    }
    unsigned peek(int n) const { return static_cast<unsigned>((window << used) >> (64 - n)); }
    // Where the next bit lies, counted in bits from `base`; once full.
    size_t bit(const uint8_t* base) const
    {
        const unsigned bytes = used >> 3;
        return static_cast<size_t>(p - base + (plain ? bytes : skip[bytes])) * 8 + (used & 7);
    }
    bool ended() const { return p + (plain ? used >> 3 : skip[used >> 3]) >= end; }
};

// A code longer than the quick look-up; false for none.
inline bool slowCode(const Table& t, const Bits& b, int& length, int& symbol)
{
    return t.code(b.peek(16), 16, length, symbol);
}

// One block: its DC difference into *diff, its AC coefficients passed
// over. False for a code neither table holds.
inline bool walkBlock(Bits& b, const Table& dc, const Table& ac, int* diff)
{
    b.keepFull();
    int length, size;
    if (const uint16_t e = dc.quick[b.peek(kLook)]) {
        length = e & 0xff;
        size = e >> 8;
    } else if (!slowCode(dc, b, length, size)) {
        return false;
    }
    b.used += static_cast<unsigned>(length);
    b.keepFull();
    int d = 0;
    if (size) {
        const int r = static_cast<int>(b.peek(size));
        b.used += static_cast<unsigned>(size);
        d = r < (1 << (size - 1)) ? r - (1 << size) + 1 : r;
    }
    *diff = d;
    for (int k = 1; k < 64;) {
        b.keepFull();
        const uint32_t e = ac.steps[b.peek(kLook)];
        // Every whole coefficient in the look-up's bits, when they stay
        // in the block.
        const int moved = (e >> 5) & 127, reach = (e >> 12) & 127;
        if ((e & 31) && k + reach <= 64) {
            b.used += e & 31;
            k += moved;
            if (reach != moved)
                break;  // the block's end
            continue;
        }
        int bits, advance;
        if (e >> 19) {
            bits = (e >> 19) & 63;
            advance = static_cast<int>(e >> 25);
        } else {
            int symbol;
            if (!slowCode(ac, b, length, symbol))
                return false;
            Table::move(length, symbol, bits, advance);
        }
        b.used += static_cast<unsigned>(bits);
        k += advance;
    }
    return true;
}

// The tables of each place in an MCU.
struct Tables {
    const Table* dc;
    const Table* ac;
};

// A large scan is walked by two threads: one from its start, and this one
// from the middle of its data, taking the first bit there for the start of
// the MCU's first block. That is most likely wrong, but Huffman codes fall
// back into step within a few codes and blocks within a few blocks, so from
// some block on this walk takes the steps of the walk from the start, which
// finds that block as it passes and takes every block after it from here.
// Each difference recorded after that block is right; only the running DC
// sums need the walk from the start.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr size_t kAheadMinBytes = 256 * 1024;
#else
constexpr size_t kAheadMinBytes = 1024;  // the fuzzer's inputs are small
#endif
// Blocks the walk from the start looks for the meeting before going on alone.
constexpr size_t kMeetWithin = 20'000;

class Ahead {
public:
    // Where one of this walk's first blocks begins in the data, and its
    // place in its MCU.
    struct Start {
        uint32_t bit;
        uint32_t j;
    };

    // What it records of `most` blocks.
    static size_t memoryFor(size_t most) { return kMeetWithin * sizeof(Start) + most * sizeof(int16_t); }

    // The data from `base` to `end`; the walk begins at `from`, which must
    // not be the 0x00 of a stuffed 0xFF. Up to `most` blocks, recorded in
    // `memory` (of memoryFor(most) bytes).
    Ahead(const uint8_t* base, const uint8_t* from, const uint8_t* end, size_t most, LargeBuffer memory,
          std::vector<Tables> tables, const std::atomic<bool>* cancel)
        : base_(base),
          from_(from),
          end_(end),
          startBit_(static_cast<size_t>(from - base) * 8),
          most_(most),
          memory_(std::move(memory)),
          starts_(reinterpret_cast<Start*>(memory_.data())),
          diffs_(reinterpret_cast<int16_t*>(memory_.data() + kMeetWithin * sizeof(Start))),
          tables_(std::move(tables)),
          cancel_(cancel)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~Ahead()
    {
        stop_.store(true);
        if (thread_.joinable())
            thread_.join();
    }
    Ahead(const Ahead&) = delete;
    Ahead& operator=(const Ahead&) = delete;

    // For the block of the walk from the start that begins at `bit` with
    // place j: 1 when this walk has a block there with the same place (its
    // index then in `record`), 0 when not, -1 once no meeting is to be had.
    int meet(size_t bit, int j, size_t& record)
    {
        if (bit < startBit_)
            return 0;
        for (;;) {
            const size_t n = std::min(published_.load(std::memory_order_acquire), kMeetWithin);
            while (record < n && starts_[record].bit < bit)
                ++record;
            if (record < n)
                return starts_[record].bit == bit && starts_[record].j == static_cast<uint32_t>(j) ? 1 : 0;
            if (record >= kMeetWithin ||
                (done_.load(std::memory_order_acquire) && record >= published_.load(std::memory_order_acquire)))
                return -1;
            std::this_thread::yield();  // not this far yet
        }
    }

    // The DC differences of every block this walk recorded, once it has
    // ended; null when it came upon a code no table holds after `record`
    // (where the walk from the start would have stopped).
    const int16_t* finish(size_t record, size_t& count)
    {
        if (thread_.joinable())
            thread_.join();
        count = published_.load();
        return lastBroken_ > record ? nullptr : diffs_;
    }

private:
    void run()
    {
        Bits b;
        b.at(from_, end_);
        const int perMcu = static_cast<int>(tables_.size());
        size_t n = 0;
        int j = 0;
        while (n < most_) {
            if ((n & 255) == 0) {
                published_.store(n, std::memory_order_release);
                if (stop_.load(std::memory_order_relaxed) || (cancel_ && cancel_->load(std::memory_order_relaxed)))
                    break;
            }
            b.keepFull();
            if (b.ended())
                break;
            const size_t bit = n < kMeetWithin ? b.bit(base_) : 0;
            // Where the block begins, to go back to: a copy of the reader
            // would keep it out of registers.
            const uint8_t* const p = b.p;
            const unsigned used = b.used;
            int diff;
            if (!walkBlock(b, *tables_[static_cast<size_t>(j)].dc, *tables_[static_cast<size_t>(j)].ac, &diff)) {
                // Out of step: try the next bit.
                lastBroken_ = n;
                b.p = p;
                b.used = used;
                b.load();
                ++b.used;
                b.keepFull();
                continue;
            }
            if (n < kMeetWithin)
                starts_[n] = {static_cast<uint32_t>(bit), static_cast<uint32_t>(j)};
            diffs_[n++] = static_cast<int16_t>(diff);
            j = j + 1 == perMcu ? 0 : j + 1;
        }
        published_.store(n, std::memory_order_release);
        done_.store(true, std::memory_order_release);
    }

    const uint8_t* base_;
    const uint8_t* from_;
    const uint8_t* end_;
    size_t startBit_, most_;
    LargeBuffer memory_;
    Start* starts_;
    int16_t* diffs_;
    std::vector<Tables> tables_;
    const std::atomic<bool>* cancel_;
    std::atomic<size_t> published_{0};
    std::atomic<bool> done_{false}, stop_{false};
    size_t lastBroken_ = 0;  // records before the last code no table held
    std::thread thread_;
};

// A scan is walked from its middle too when it is large and has no restart
// intervals (`rest`: the file from the scan's data on).
bool walksTwice(const Layout& layout, size_t rest)
{
    return layout.restartInterval == 0 && rest >= kAheadMinBytes && rest < (size_t(1) << 28);
}

struct Plane {
    int width = 0, height = 0;  // in blocks
    uint8_t* pixels = nullptr;
};

// Full-range YCbCr to RGB as JFIF defines it, in 16-bit fixed point with
// libjpeg's rounding.
struct Colour {
    int crR[256], cbB[256], crG[256], cbG[256];
    Colour()
    {
        const auto fix = [](double k) { return static_cast<int64_t>(k * 65536 + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const int64_t x = i - 128;
            crR[i] = static_cast<int>((fix(1.40200) * x + 32768) >> 16);
            cbB[i] = static_cast<int>((fix(1.77200) * x + 32768) >> 16);
            crG[i] = static_cast<int>(-fix(0.71414) * x);
            cbG[i] = static_cast<int>(-fix(0.34414) * x + 32768);
        }
    }
};

inline int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

}  // namespace

bool jpegDcLookWalksTwice(const uchar* data, size_t size)
{
    Layout layout;
    return data && size >= 4 && data[0] == 0xFF && data[1] == 0xD8 && readLayout(data, size, layout) &&
           walksTwice(layout, size - layout.entropyStart);
}

QImage jpegDcLook(const uchar* data, size_t size, const std::atomic<bool>* cancel)
{
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return {};
    Layout layout;
    if (!readLayout(data, size, layout))
        return {};
    // The limits of a full decode, on what this one holds: a byte a block
    // of each component (at most three a pixel of the look), two more for
    // each block the walk ahead records, and the look.
    try {
        const qint64 pixels = qint64(layout.width) * layout.height;
        checkDecodeBudget(pixels, encodablePixels(qint64(size), kJpegPixelsPerByte), pixels / 64 * (3 + 6 + 4));
    } catch (const DecodeError&) {
        return {};
    }
    // Only the tables the scan uses (each some 24 KB, too many for a
    // thread's stack to hold lightly).
    std::unique_ptr<Table> dcTables[NUM_HUFF_TBLS], acTables[NUM_HUFF_TBLS];
    for (int i = 0; i < NUM_HUFF_TBLS; ++i) {
        if (layout.hasDc[i] && !(dcTables[i] = std::make_unique<Table>())->build(layout.dc[i], false))
            return {};
        if (layout.hasAc[i] && !(acTables[i] = std::make_unique<Table>())->build(layout.ac[i], true))
            return {};
    }

    // The blocks of each component, as the scan orders them.
    const bool interleaved = layout.components > 1;
    const int mcuWidth = 8 * layout.maxH, mcuHeight = 8 * layout.maxV;
    const int mcusAcross = interleaved ? (layout.width + mcuWidth - 1) / mcuWidth : (layout.width + 7) / 8;
    const int mcuRows = interleaved ? (layout.height + mcuHeight - 1) / mcuHeight : (layout.height + 7) / 8;
    Plane planes[3];
    size_t planeBytes = 0;
    for (int i = 0; i < layout.components; ++i) {
        const Component& c = layout.scan[i];
        Plane& p = planes[c.index];
        p.width = mcusAcross * c.h;
        p.height = mcuRows * c.v;
        planeBytes += static_cast<size_t>(p.width) * static_cast<size_t>(p.height);
    }
    const LargeBuffer planeMemory(planeBytes);
    if (!planeMemory.data())
        return {};
    size_t at = 0;
    for (int i = 0; i < layout.components; ++i) {
        Plane& p = planes[layout.scan[i].index];
        p.pixels = planeMemory.data() + at;
        at += static_cast<size_t>(p.width) * static_cast<size_t>(p.height);
    }

    // The blocks of one MCU in the scan's order: whose they are, and where
    // in their component's MCU.
    struct Slot {
        int scan, bx, by;
    };
    std::vector<Slot> places;
    for (int i = 0; i < layout.components; ++i)
        for (int by = 0; by < layout.scan[i].v; ++by)
            for (int bx = 0; bx < layout.scan[i].h; ++bx)
                places.push_back({i, bx, by});
    const int perMcu = static_cast<int>(places.size());
    const int64_t blocks = int64_t(mcusAcross) * mcuRows * perMcu;
    int predictor[3] = {0, 0, 0};
    // The next block of the scan: its place in its MCU and the MCU's.
    int j = 0, mx = 0, my = 0;
    // Its DC difference added to its component's sum, its pixel set, and
    // on to the next.
    const auto place = [&](int diff) {
        const Slot& slot = places[static_cast<size_t>(j)];
        const Component& c = layout.scan[slot.scan];
        Plane& p = planes[c.index];
        const int dc = predictor[slot.scan] += diff;
        if (dc > 32767 || dc < -32768)
            return false;
        p.pixels[static_cast<size_t>(my * c.v + slot.by) * static_cast<size_t>(p.width) +
                 static_cast<size_t>(mx * c.h + slot.bx)] = static_cast<uint8_t>(clamp255(static_cast<int>((int64_t(dc) * c.quant + 4) >> 3) + 128));
        if (++j == perMcu) {
            j = 0;
            if (++mx == mcusAcross) {
                mx = 0;
                ++my;
            }
        }
        return true;
    };
    std::vector<Tables> tables;
    for (const Slot& slot : places) {
        const Component& c = layout.scan[slot.scan];
        tables.push_back({dcTables[c.dcTable].get(), acTables[c.acTable].get()});
    }

    const uint8_t* base = data + layout.entropyStart;
    const uint8_t* fileEnd = data + size;
    const int64_t lastRow = int64_t(mcusAcross) * (mcuRows - 1) * perMcu;  // the first block of the last row

    // A large scan without restarts is walked from both ends of its data
    // at once (see Ahead), the second walk from the middle of the file's
    // rest: its data with the marker after it, as near as can be known
    // before the walk.
    std::unique_ptr<Ahead> ahead;
    const size_t rest = static_cast<size_t>(fileEnd - base);
    if (walksTwice(layout, rest)) {
        const uint8_t* from = base + rest / 2;
        while (from < fileEnd && from[-1] == 0xFF)
            ++from;
        // Without the memory for its records, one walk does it all.
        LargeBuffer memory(Ahead::memoryFor(static_cast<size_t>(blocks)));
        if (memory.data())
            ahead = std::make_unique<Ahead>(base, from, fileEnd, static_cast<size_t>(blocks), std::move(memory), tables,
                                            cancel);
    }

    Bits bits;
    bits.at(base, fileEnd);
    unsigned untilRestart = layout.restartInterval;
    size_t record = 0;  // of the walk ahead, the first not behind this one
    for (int64_t g = 0; g < blocks; ++g) {
        bits.keepFull();
        if (j == 0) {
            if (mx == 0 && cancel && cancel->load(std::memory_order_relaxed))
                return {};
            if (layout.restartInterval) {
                if (untilRestart == 0) {
                    // The rest of the byte is padding; the interval's data
                    // ends at a restart marker, and the next begins after it.
                    const uint8_t* q = bits.p + (bits.plain ? (bits.used + 7) >> 3 : bits.skip[(bits.used + 7) >> 3]);
                    while (q + 1 < fileEnd && !(q[0] == 0xFF && q[1] >= 0xD0 && q[1] <= 0xD7)) {
                        if (q[0] == 0xFF && q[1] != 0x00 && q[1] != 0xFF)
                            break;  // another marker: the data ends
                        ++q;
                    }
                    if (q + 1 < fileEnd && q[0] == 0xFF && q[1] >= 0xD0 && q[1] <= 0xD7) {
                        bits.at(q + 2, fileEnd);
                    } else {
                        if (g < lastRow)
                            return {};
                        bits.at(fileEnd, fileEnd);
                    }
                    predictor[0] = predictor[1] = predictor[2] = 0;
                    untilRestart = layout.restartInterval;
                }
                --untilRestart;
            }
            // Data that runs out within the last row shows with that row's
            // missing blocks flat, as libjpeg shows it; sooner, the file is
            // cut.
            if (bits.ended() && g < lastRow)
                return {};
        }
        if (ahead) {
            // Where this walk comes upon a block the walk ahead began at
            // with the same place in its MCU, everything after it is that
            // walk's; only its DC sums need this walk's start.
            const int found = ahead->meet(bits.bit(base), j, record);
            if (found > 0) {
                size_t count = 0;
                const int16_t* diffs = ahead->finish(record, count);
                if (!diffs)
                    return {};
                for (size_t k = record; k < count && g < blocks; ++k, ++g) {
                    if (!place(diffs[k]))
                        return {};
                }
                if (g < blocks && g < lastRow)
                    return {};
                break;
            }
            if (found < 0) {
                ahead.reset();  // no meeting: this walk goes on alone
            }
        }
        int diff;
        if (!walkBlock(bits, *tables[static_cast<size_t>(j)].dc, *tables[static_cast<size_t>(j)].ac, &diff) ||
            !place(diff))
            return {};
    }

    const int outW = (layout.width + 7) / 8, outH = (layout.height + 7) / 8;
    QImage out = largeImage(QSize(outW, outH));
    if (out.isNull())
        return {};
    const Plane& luma = planes[0];
    if (layout.components == 1) {
        for (int y = 0; y < outH; ++y) {
            auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
            const uint8_t* l = luma.pixels + static_cast<size_t>(y) * static_cast<size_t>(luma.width);
            for (int x = 0; x < outW; ++x)
                o[x] = qRgb(l[x], l[x], l[x]);
        }
        return out;
    }
    // Each component's block under a pixel of the look (a block of the most
    // finely sampled component).
    int factorH[3], factorV[3];
    for (int i = 0; i < 3; ++i) {
        const Component& c = layout.scan[i];
        factorH[c.index] = c.h;
        factorV[c.index] = c.v;
    }
    static const Colour colour;
    const bool rgb = layout.colour == JCS_RGB;
    std::vector<int> columns[3];
    for (int i = 0; i < 3; ++i) {
        columns[i].resize(static_cast<size_t>(outW));
        for (int x = 0; x < outW; ++x)
            columns[i][static_cast<size_t>(x)] = std::min(x * factorH[i] / layout.maxH, planes[i].width - 1);
    }
    for (int y = 0; y < outH; ++y) {
        const uint8_t* rows[3];
        for (int i = 0; i < 3; ++i)
            rows[i] = planes[i].pixels +
                      static_cast<size_t>(std::min(y * factorV[i] / layout.maxV, planes[i].height - 1)) *
                          static_cast<size_t>(planes[i].width);
        auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < outW; ++x) {
            const int a = rows[0][columns[0][static_cast<size_t>(x)]];
            const int b = rows[1][columns[1][static_cast<size_t>(x)]];
            const int c = rows[2][columns[2][static_cast<size_t>(x)]];
            if (rgb)
                o[x] = qRgb(a, b, c);
            else
                o[x] = qRgb(clamp255(a + colour.crR[c]), clamp255(a + ((colour.cbG[b] + colour.crG[c]) >> 16)),
                            clamp255(a + colour.cbB[b]));
        }
    }
    return out;
}

}  // namespace imaging
