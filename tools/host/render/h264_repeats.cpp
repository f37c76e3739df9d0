#include "render/h264_repeats.h"

#include <cstddef>

namespace cqhost {
namespace {

// NAL unit types (the low five bits of a NAL unit's first byte).
constexpr int kSliceNal = 1;
constexpr int kIdrSliceNal = 5;
constexpr int kSpsNal = 7;
constexpr int kPpsNal = 8;

// Slice types, modulo 5.
constexpr std::uint32_t kPSlice = 0;
constexpr std::uint32_t kISlice = 2;

// One NAL unit of an Annex B byte stream: where its bytes (after the start code) begin and end.
struct NalUnit {
    size_t begin = 0, end = 0;
};

std::vector<NalUnit> splitAnnexB(const std::uint8_t* data, size_t size) {
    std::vector<NalUnit> units;
    size_t i = 0;
    auto startCodeAt = [&](size_t at) {
        return at + 3 <= size && data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1;
    };
    while (i < size && !startCodeAt(i)) ++i;
    while (i < size) {
        const size_t begin = i + 3;
        size_t next = begin;
        while (next < size && !startCodeAt(next)) ++next;
        // A four-byte start code's leading zero, and any trailing zeros, are not the unit's.
        size_t end = next;
        while (end > begin && data[end - 1] == 0) --end;
        if (end > begin) units.push_back({begin, end});
        i = next;
    }
    return units;
}

// The payload of a NAL unit (after its first byte) without emulation prevention bytes.
std::vector<std::uint8_t> unescape(const std::uint8_t* data, size_t size) {
    std::vector<std::uint8_t> raw;
    raw.reserve(size);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        raw.push_back(data[i]);
        zeros = data[i] == 0 ? zeros + 1 : 0;
    }
    return raw;
}

// Appends a payload with emulation prevention bytes: no 00 00 0x (x <= 3) may appear.
void escapeInto(const std::vector<std::uint8_t>& raw, std::vector<std::uint8_t>& out) {
    int zeros = 0;
    for (const std::uint8_t byte : raw) {
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
}

// Reads bits of an unescaped payload, most significant first. Reading past the end sets
// `overrun` and gives zeros.
class BitReader {
  public:
    explicit BitReader(const std::vector<std::uint8_t>& raw) : raw_(raw) {}

    std::uint32_t bits(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = (value << 1) | bit();
        return value;
    }
    // Exp-Golomb codes.
    std::uint32_t ue() {
        int zeros = 0;
        while (bit() == 0 && !overrun) {
            if (++zeros > 31) {
                overrun = true;
                return 0;
            }
        }
        return ((std::uint32_t{1} << zeros) - 1) + bits(zeros);
    }
    std::int32_t se() {
        const std::uint32_t code = ue();
        return code % 2 == 1 ? static_cast<std::int32_t>((code + 1) / 2)
                             : -static_cast<std::int32_t>(code / 2);
    }
    size_t position() const { return position_; }

    bool overrun = false;

  private:
    std::uint32_t bit() {
        if (position_ >= raw_.size() * 8) {
            overrun = true;
            return 0;
        }
        const std::uint32_t value = (raw_[position_ / 8] >> (7 - position_ % 8)) & 1u;
        ++position_;
        return value;
    }

    const std::vector<std::uint8_t>& raw_;
    size_t position_ = 0;
};

class BitWriter {
  public:
    void bits(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bit((value >> i) & 1u);
    }
    void ue(std::uint32_t value) {
        const std::uint64_t code = std::uint64_t{value} + 1;
        int length = 0;
        while ((code >> length) > 1) ++length;
        bits(0, length);
        for (int i = length; i >= 0; --i) bit(static_cast<std::uint32_t>((code >> i) & 1u));
    }
    void se(std::int32_t value) {
        ue(value > 0 ? static_cast<std::uint32_t>(2 * value - 1)
                     : static_cast<std::uint32_t>(-2 * static_cast<std::int64_t>(value)));
    }
    // The stop bit and the zeros up to the next byte.
    std::vector<std::uint8_t> finish() {
        bit(1);
        while (used_ % 8 != 0) bit(0);
        return raw_;
    }

  private:
    void bit(std::uint32_t value) {
        if (used_ % 8 == 0) raw_.push_back(0);
        if (value != 0) raw_.back() |= static_cast<std::uint8_t>(0x80u >> (used_ % 8));
        ++used_;
    }

    std::vector<std::uint8_t> raw_;
    size_t used_ = 0;
};

// Overwrites `count` bits of `raw` from bit `position` with `value`.
void overwriteBits(std::vector<std::uint8_t>& raw, size_t position, int count,
                   std::uint32_t value) {
    for (int i = 0; i < count; ++i, ++position) {
        const auto mask = static_cast<std::uint8_t>(0x80u >> (position % 8));
        if ((value >> (count - 1 - i)) & 1u) {
            raw[position / 8] |= mask;
        } else {
            raw[position / 8] &= static_cast<std::uint8_t>(~mask);
        }
    }
}

bool highProfile(std::uint32_t profile) {
    switch (profile) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
        case 139:
        case 134:
        case 135:
            return true;
        default:
            return false;
    }
}

// Where a slice's frame number sits, and whether its header asks for nothing a renumbering
// would break (reference list changes or marking commands name frames by their numbers).
struct SliceFacts {
    size_t frameNumAt = 0;
    bool idr = false;
    bool reference = false;
    bool renumberable = false;
};

SliceFacts readSlice(const std::vector<std::uint8_t>& raw, int nalType, int refIdc,
                     int frameNumBits) {
    SliceFacts facts;
    facts.idr = nalType == kIdrSliceNal;
    facts.reference = refIdc != 0;
    BitReader in(raw);
    in.ue();  // first_mb_in_slice
    const std::uint32_t sliceType = in.ue() % 5;
    in.ue();  // pic_parameter_set_id
    facts.frameNumAt = in.position();
    in.bits(frameNumBits);
    if (facts.idr) in.ue();  // idr_pic_id
    bool listChanged = false;
    if (sliceType == kPSlice) {
        if (in.bits(1) != 0) in.ue();   // num_ref_idx_active_override_flag, its count
        listChanged = in.bits(1) != 0;  // ref_pic_list_modification_flag_l0
    } else if (sliceType != kISlice) {
        return facts;  // B, SP and SI slices are not expected here
    }
    bool marked = false;
    if (facts.reference) {
        if (facts.idr) {
            in.bits(1);                // no_output_of_prior_pics_flag
            marked = in.bits(1) != 0;  // long_term_reference_flag
        } else {
            marked = in.bits(1) != 0;  // adaptive_ref_pic_marking_mode_flag
        }
    }
    facts.renumberable = !in.overrun && !listChanged && !marked;
    return facts;
}

}  // namespace

std::optional<H264Repeats> H264Repeats::forStream(const std::uint8_t* headers, int size, int width,
                                                  int height) {
    if (headers == nullptr || size <= 0) return std::nullopt;
    H264Repeats stream;
    bool sps = false, pps = false;
    for (const NalUnit& unit : splitAnnexB(headers, static_cast<size_t>(size))) {
        const int type = headers[unit.begin] & 0x1F;
        const std::vector<std::uint8_t> raw =
            unescape(headers + unit.begin + 1, unit.end - unit.begin - 1);
        BitReader in(raw);
        if (type == kSpsNal && !sps) {
            const std::uint32_t profile = in.bits(8);
            in.bits(16);  // constraint flags, level_idc
            in.ue();      // seq_parameter_set_id
            if (highProfile(profile)) {
                // chroma_format_idc: 4:2:0 only (4:4:4 could put a colour plane before
                // frame_num)
                if (in.ue() != 1) return std::nullopt;
                in.ue();                                   // bit_depth_luma_minus8
                in.ue();                                   // bit_depth_chroma_minus8
                in.bits(1);                                // qpprime_y_zero_transform_bypass_flag
                if (in.bits(1) != 0) return std::nullopt;  // seq_scaling_matrix_present_flag
            }
            stream.frameNumBits_ = static_cast<int>(in.ue()) + 4;
            if (in.ue() != 2) return std::nullopt;     // pic_order_cnt_type
            if (in.ue() != 1) return std::nullopt;     // max_num_ref_frames
            if (in.bits(1) != 0) return std::nullopt;  // gaps_in_frame_num_value_allowed_flag
            const std::uint32_t columns = in.ue() + 1;
            const std::uint32_t rows = in.ue() + 1;
            if (in.bits(1) != 1) return std::nullopt;  // frame_mbs_only_flag
            if (in.overrun || stream.frameNumBits_ > 16 ||
                columns != static_cast<std::uint32_t>((width + 15) / 16) ||
                rows != static_cast<std::uint32_t>((height + 15) / 16)) {
                return std::nullopt;
            }
            stream.macroblocks_ = static_cast<int>(columns * rows);
            sps = true;
        } else if (type == kPpsNal && !pps) {
            stream.ppsId_ = in.ue();
            in.ue();                                   // seq_parameter_set_id
            if (in.bits(1) != 0) return std::nullopt;  // entropy_coding_mode_flag (CABAC)
            in.bits(1);                                // bottom_field_pic_order_in_frame_present
            if (in.ue() != 0) return std::nullopt;     // num_slice_groups_minus1
            in.ue();                                   // num_ref_idx_l0_default_active_minus1
            in.ue();                                   // num_ref_idx_l1_default_active_minus1
            if (in.bits(1) != 0) return std::nullopt;  // weighted_pred_flag
            in.bits(2);                                // weighted_bipred_idc
            in.se();                                   // pic_init_qp_minus26
            in.se();                                   // pic_init_qs_minus26
            in.se();                                   // chroma_qp_index_offset
            stream.deblockingControl_ = in.bits(1) != 0;
            in.bits(1);                                // constrained_intra_pred_flag
            if (in.bits(1) != 0) return std::nullopt;  // redundant_pic_cnt_present_flag
            if (in.overrun) return std::nullopt;
            pps = true;
        }
    }
    if (!sps || !pps) return std::nullopt;
    return stream;
}

std::uint32_t H264Repeats::nextFrameNum(bool idr) const {
    const std::uint32_t modulus = std::uint32_t{1} << frameNumBits_;
    return idr ? 0 : (previousRefFrameNum_ + 1) % modulus;
}

bool H264Repeats::renumber(std::vector<std::uint8_t>& frame) {
    std::vector<std::uint8_t> out;
    out.reserve(frame.size() + 16);
    bool sawSlice = false, idr = false, reference = false;
    size_t copied = 0;
    for (const NalUnit& unit : splitAnnexB(frame.data(), frame.size())) {
        const int type = frame[unit.begin] & 0x1F;
        if (type != kSliceNal && type != kIdrSliceNal) continue;
        std::vector<std::uint8_t> raw =
            unescape(frame.data() + unit.begin + 1, unit.end - unit.begin - 1);
        const SliceFacts facts = readSlice(raw, type, (frame[unit.begin] >> 5) & 3, frameNumBits_);
        // All slices of a frame agree on these.
        if (!facts.renumberable ||
            (sawSlice && (facts.idr != idr || facts.reference != reference))) {
            return false;
        }
        sawSlice = true;
        idr = facts.idr;
        reference = facts.reference;
        overwriteBits(raw, facts.frameNumAt, frameNumBits_, nextFrameNum(idr));
        // What comes before this slice (start codes, other units) as it was; then the slice.
        out.insert(out.end(), frame.begin() + static_cast<std::ptrdiff_t>(copied),
                   frame.begin() + static_cast<std::ptrdiff_t>(unit.begin) + 1);
        escapeInto(raw, out);
        copied = unit.end;
    }
    if (!sawSlice) return false;
    out.insert(out.end(), frame.begin() + static_cast<std::ptrdiff_t>(copied), frame.end());
    if (reference) previousRefFrameNum_ = nextFrameNum(idr);
    frame.swap(out);
    return true;
}

std::vector<std::uint8_t> H264Repeats::repeat() {
    const std::uint32_t frameNum = nextFrameNum(false);
    BitWriter slice;
    slice.ue(0);            // first_mb_in_slice
    slice.ue(kPSlice + 5);  // slice_type: P, as every slice of this picture
    slice.ue(ppsId_);
    slice.bits(frameNum, frameNumBits_);
    slice.bits(1, 1);  // num_ref_idx_active_override_flag: one reference, the frame before
    slice.ue(0);       // num_ref_idx_l0_active_minus1
    slice.bits(0, 1);  // ref_pic_list_modification_flag_l0
    slice.bits(0, 1);  // adaptive_ref_pic_marking_mode_flag: the sliding window
    slice.se(0);       // slice_qp_delta
    if (deblockingControl_) slice.ue(1);  // disable_deblocking_filter_idc: a copy stays exact
    // Every macroblock skipped: predicted from the frame before with no motion (the skip
    // prediction of a block whose neighbours are skipped, or absent, is zero).
    slice.ue(static_cast<std::uint32_t>(macroblocks_));
    std::vector<std::uint8_t> out{0, 0, 0, 1, (2 << 5) | kSliceNal};
    escapeInto(slice.finish(), out);
    previousRefFrameNum_ = frameNum;
    return out;
}

}  // namespace cqhost
