// Hand-built parameter sets for what the test files do not hold: emulation prevention inside a
// field, SPS scaling lists that end early or select the default, a PPS whose length depends on
// its SPS, predicted short-term reference picture sets, truncated and hostile data, an AV1
// reduced still picture header. Each fixture's bits are written field by field. Last, the real
// configuration records with random damage.
#include "CodecTestSupport.h"
#include "TestSupport.h"
#include "codecs/Av1Configuration.h"
#include "codecs/Av1Obu.h"
#include "codecs/SeiMessages.h"
#include "codecs/AvcConfiguration.h"
#include "codecs/H264ParameterSets.h"
#include "codecs/HevcConfiguration.h"
#include "codecs/HevcParameterSets.h"

#include <QRandomGenerator>

using namespace codectest;
using namespace corvanta::codecs;

namespace {

// A Baseline SPS, 320x240, with VUI timing 1/60: num_units_in_tick 0x00000001 starts at RBSP
// bit 66, so its bytes 00 00 00 (bits 72-95) take an emulation prevention byte before the third.
QByteArray baselineSpsRbsp() {
  return bits({
      "0 11 00111",  // forbidden_zero_bit, nal_ref_idc 3, nal_unit_type 7 (SPS)
      "01000010",    // profile_idc 66
      "000000 00",   // constraint_set0..5_flag, reserved_zero_2bits
      "00011110",    // level_idc 30
      "1",           // seq_parameter_set_id ue 0
      "1",           // log2_max_frame_num_minus4 ue 0
      "011",         // pic_order_cnt_type ue 2
      "010",         // max_num_ref_frames ue 1
      "0",           // gaps_in_frame_num_value_allowed_flag
      "000010100",   // pic_width_in_mbs_minus1 ue 19 (320)
      "0001111",     // pic_height_in_map_units_minus1 ue 14 (240)
      "1 1 0",       // frame_mbs_only_flag, direct_8x8_inference_flag, frame_cropping_flag
      "1",           // vui_parameters_present_flag (bit 60)
      "0 0 0 0",     // aspect_ratio_info, overscan_info, video_signal_type, chroma_loc_info present
      "1",           // timing_info_present_flag (bit 65)
      "00000000 00000000 00000000 00000001",  // num_units_in_tick 1 (bits 66-97)
      "00000000 00000000 00000000 00111100",  // time_scale 60 (bits 98-129)
      "1",           // fixed_frame_rate_flag
      "0 0 0 0",     // nal_hrd, vcl_hrd, pic_struct_present, bitstream_restriction flags
      "1",           // rbsp_stop_one_bit (bit 135, the last of byte 16)
  });
}

// A High SPS with a scaling matrix: list 0 stops early, list 1 selects the default, list 6 is
// one value repeated.
QByteArray scalingListSpsRbsp() {
  return bits({
      "0 11 00111",  // forbidden_zero_bit, nal_ref_idc 3, nal_unit_type 7
      "01100100",    // profile_idc 100 (High)
      "00000000",    // constraint flags, reserved
      "00101000",    // level_idc 40
      "1",           // seq_parameter_set_id 0
      "010",         // chroma_format_idc ue 1
      "1 1",         // bit_depth_luma_minus8 0, bit_depth_chroma_minus8 0
      "0",           // qpprime_y_zero_transform_bypass_flag
      "1",           // seq_scaling_matrix_present_flag
      "1",           // seq_scaling_list_present_flag[0] (bit 40)
      "00101",       //   delta_scale se -2: next 6
      "0001110",     //   delta_scale se +7: next 13
      "000011011",   //   delta_scale se -13: next 0, 13 repeats to the end (bits 41-61)
      "1",           // seq_scaling_list_present_flag[1]
      "000010001",   //   delta_scale se -8: next 0 at the first entry: the default list (bits 63-71)
      "0000",        // seq_scaling_list_present_flag[2..5]
      "1",           // seq_scaling_list_present_flag[6]
      "000010000",   //   delta_scale se +8: next 16
      "00000100001", //   delta_scale se -16: next 0, 16 repeats (bits 77-96)
      "0",           // seq_scaling_list_present_flag[7]
      "1",           // log2_max_frame_num_minus4 0 (bit 98)
      "011 010 0",   // pic_order_cnt_type 2, max_num_ref_frames 1, gaps flag
      "0001010",     // pic_width_in_mbs_minus1 9 (160)
      "0001000",     // pic_height_in_map_units_minus1 7 (128)
      "1 1 0 0",     // frame_mbs_only, direct_8x8_inference, frame_cropping, vui_parameters_present
      "1 000",       // rbsp_stop_one_bit, alignment
  });
}

// A PPS with the 8x8 transform and a scaling matrix of 12 absent lists (as for 4:4:4).
QByteArray ppsWithScalingMatrixRbsp() {
  return bits({
      "0 11 01000",    // forbidden_zero_bit, nal_ref_idc 3, nal_unit_type 8 (PPS)
      "1 1",           // pic_parameter_set_id 0, seq_parameter_set_id 0
      "1 0",           // entropy_coding_mode_flag, bottom_field_pic_order_in_frame_present_flag
      "1 1 1",         // num_slice_groups_minus1 0, num_ref_idx_l0/l1_default_active_minus1 0
      "0 00",          // weighted_pred_flag, weighted_bipred_idc
      "1 1 1",         // pic_init_qp_minus26 0, pic_init_qs_minus26 0, chroma_qp_index_offset 0
      "1 0 0",         // deblocking_filter_control_present, constrained_intra_pred, redundant_pic_cnt_present
      "1 1",           // transform_8x8_mode_flag, pic_scaling_matrix_present_flag (bits 24-25)
      "000000000000",  // pic_scaling_list_present_flag[0..11] (bits 26-37)
      "011",           // second_chroma_qp_index_offset se -1 (bits 38-40)
      "1 000000",      // rbsp_stop_one_bit (bit 41), alignment
  });
}

QByteArray nal(const QByteArray& rbsp) { return withEmulationPrevention(rbsp); }

const Element* field(const Parsed& parsed, const QString& name, qint64 seq = -1) {
  for (const Element& e : parsed.elements)
    if (e.name == name && e.seq == seq) return &e;
  return nullptr;
}

void expectValid(const Decoded& decoded, qint64 bytes) {
  QVERIFY2(decoded.report.ok(), qPrintable(decoded.report.summary()));
  for (const Element& e : decoded.elements) QVERIFY2(e.offset + e.size <= bytes * 8, qPrintable(e.name));
}

// The payload of the first `type` box of a test file (after its 8-byte header).
QByteArray recordPayload(const QString& file, const QString& type) {
  const QString path = corvanta::test::dataFile(QStringLiteral("isobmff/") + file);
  const Parsed parsed = isotest::parseFile(path);
  const std::vector<const Element*> boxes = parsed.named(type);
  QFile data(path);
  if (boxes.empty() || !data.open(QIODevice::ReadOnly)) return {};
  return data.readAll().mid(int(boxes[0]->byteOffset() + 8), int(boxes[0]->byteSize() - 8));
}

QByteArray damaged(QByteArray data, QRandomGenerator& random) {
  const int edits = 1 + random.bounded(4);
  for (int i = 0; i < edits && !data.isEmpty(); ++i) {
    const int at = random.bounded(data.size());
    switch (random.bounded(4)) {
      case 0: data[at] = char(data[at] ^ (1 << random.bounded(8))); break;  // one bit
      case 1: data[at] = char(random.bounded(256)); break;                  // one byte
      case 2: data[at] = random.bounded(2) ? char(0) : char(0xff); break;   // long codes, long runs
      default: data.truncate(at + 1); break;
    }
  }
  return data;
}

}  // namespace

class CodecFixturesTest : public QObject {
  Q_OBJECT

 private slots:
  // A field that spans an emulation prevention byte: the value is read without it, the element
  // covers it, and the fields after it sit 8 bits later in the file.
  void emulationPreventionInsideSps() {
    const QByteArray bytes = nal(baselineSpsRbsp());
    QCOMPARE(bytes.size(), 18);
    QCOMPARE(bytes.mid(9, 3), QByteArray("\0\0\3", 3));  // the fixture really has one
    H264Context context;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) { return h264NalUnit(f, context); });
    expectValid(d, bytes.size());
    QCOMPARE(QString::fromStdString(d.summary), QStringLiteral("SPS 0: Baseline@3.0, 4:2:0 8-bit, 320x240, 30 fps"));
    const Element* ticks = field(d, QStringLiteral("num_units_in_tick"));
    QVERIFY(ticks);
    QCOMPARE(ticks->raw, QStringLiteral("1"));
    QCOMPARE(ticks->offset, qint64(66));
    QCOMPARE(ticks->size, qint64(40));
    QCOMPARE(ticks->hrf, QStringLiteral("covers an emulation_prevention_three_byte"));
    const Element* scale = field(d, QStringLiteral("time_scale"));
    QCOMPARE(scale->raw, QStringLiteral("60"));
    QCOMPARE(scale->offset, qint64(106));
    QCOMPARE(field(d, QStringLiteral("rbsp_stop_one_bit"))->offset, qint64(143));
    QVERIFY(!field(d, QStringLiteral("rbsp_rest")));
    QCOMPARE(context.sps.count(0), size_t(1));
    QCOMPARE(context.sps[0].pic_width_in_mbs, uint64_t(20));
  }

  // Scaling lists are read code by code to their real end: one that ends early, one that selects
  // the default and one of a single repeated value; the fields after them land where they should.
  void spsScalingLists() {
    const QByteArray bytes = nal(scalingListSpsRbsp());
    H264Context context;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) { return h264NalUnit(f, context); });
    expectValid(d, bytes.size());
    QCOMPARE(QString::fromStdString(d.summary), QStringLiteral("SPS 0: High@4.0, 4:2:0 8-bit, 160x128"));
    QCOMPARE(field(d, QStringLiteral("scaling_matrix"))->raw, QStringLiteral("3 of 8 lists sent"));
    const Element* list0 = field(d, QStringLiteral("scaling_list"), 0);
    QCOMPARE(list0->offset, qint64(41));
    QCOMPARE(list0->size, qint64(21));
    QCOMPARE(list0->raw, QStringLiteral("-2 7 -13"));
    QCOMPARE(list0->hrf, QStringLiteral("6 13") + QStringLiteral(" 13").repeated(14));
    const Element* list1 = field(d, QStringLiteral("scaling_list"), 1);
    QCOMPARE(list1->offset, qint64(63));
    QCOMPARE(list1->size, qint64(9));
    QCOMPARE(list1->hrf, QStringLiteral("Default_4x4_Intra"));
    const Element* list6 = field(d, QStringLiteral("scaling_list"), 6);
    QCOMPARE(list6->offset, qint64(77));
    QCOMPARE(list6->size, qint64(20));
    QCOMPARE(list6->hrf, QStringLiteral("16") + QStringLiteral(" 16").repeated(63));
    QVERIFY(!field(d, QStringLiteral("scaling_list"), 7));
    QCOMPARE(field(d, QStringLiteral("log2_max_frame_num_minus4"))->offset, qint64(98));
    QVERIFY(!field(d, QStringLiteral("rbsp_rest")));
  }

  // The number of PPS scaling lists comes from the chroma format of its SPS; without that SPS
  // the rest of the PPS stays one opaque field and the trailing bits are still found.
  void ppsNeedsItsSps_data() {
    QTest::addColumn<bool>("sps_known");
    QTest::addColumn<QString>("summary");
    QTest::newRow("4:4:4 SPS seen before") << true << QStringLiteral("PPS 0, SPS 0: CABAC, 8x8 transform");
    QTest::newRow("SPS not seen") << false
                                  << QStringLiteral("PPS 0, SPS 0: CABAC, 8x8 transform; the rest needs SPS 0, not seen before");
  }

  void ppsNeedsItsSps() {
    QFETCH(bool, sps_known);
    QFETCH(QString, summary);
    const QByteArray bytes = nal(ppsWithScalingMatrixRbsp());
    H264Context context;
    if (sps_known) context.sps[0].chroma_format_idc = 3;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) { return h264NalUnit(f, context); });
    expectValid(d, bytes.size());
    QCOMPARE(QString::fromStdString(d.summary), summary);
    QCOMPARE(field(d, QStringLiteral("rbsp_stop_one_bit"))->offset, qint64(41));
    if (sps_known) {
      QVERIFY(field(d, QStringLiteral("pic_scaling_list_present_flag"), 11));
      QCOMPARE(field(d, QStringLiteral("second_chroma_qp_index_offset"))->raw, QStringLiteral("-1"));
    } else {
      const Element* rest = field(d, QStringLiteral("rbsp_rest"));
      QVERIFY(rest);
      QCOMPARE(rest->offset, qint64(26));
      QCOMPARE(rest->size, qint64(15));
      QVERIFY(!field(d, QStringLiteral("pic_scaling_list_present_flag"), 0));
    }
    QVERIFY(context.pps.count(0));
    QVERIFY(context.pps[0].transform_8x8_mode);
  }

  // Short-term reference picture sets: one sent in full, one predicted from it with some
  // pictures dropped, and one as a slice header sends it (delta_idx_minus1 picks the reference).
  void hevcShortTermRpsPrediction() {
    const QByteArray bytes = bits({
        // st_ref_pic_set(0)
        "011 010",      // num_negative_pics 2, num_positive_pics 1
        "1 1",          // delta_poc_s0_minus1[0] 0 (-1), used_by_curr_pic_s0_flag[0]
        "010 1",        // delta_poc_s0_minus1[1] 1 (-3), used_by_curr_pic_s0_flag[1]
        "010 1",        // delta_poc_s1_minus1[0] 1 (+2), used_by_curr_pic_s1_flag[0]
        // st_ref_pic_set(1), from set 0 shifted by -1: -2, -4, +1 and the reference picture -1;
        // S0 takes the reference picture before the shifted negative ones
        "1",            // inter_ref_pic_set_prediction_flag
        "1 1",          // delta_rps_sign 1, abs_delta_rps_minus1 0: deltaRps -1
        "1",            // used_by_curr_pic_flag[0]: -1-1 = -2 used
        "0 0",          // used_by_curr_pic_flag[1] 0, use_delta_flag[1] 0: -3-1 = -4 dropped
        "1",            // used_by_curr_pic_flag[2]: +2-1 = +1 used
        "0 1",          // used_by_curr_pic_flag[3] 0, use_delta_flag[3] 1: -1 kept for later
        // st_ref_pic_set(2) of a slice header: from set 2-(1+1) = 0 shifted by +1
        "1",            // inter_ref_pic_set_prediction_flag
        "010",          // delta_idx_minus1 1
        "0 1",          // delta_rps_sign 0, abs_delta_rps_minus1 0: deltaRps +1
        "1111",         // used_by_curr_pic_flag[0..3]: -1+1 = 0 drops out, -2, +3 and +1 used
        "00000",        // padding
    });
    std::vector<HevcShortTermRps> sets;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) {
      for (size_t i = 0; i < 3; ++i) {
        HevcShortTermRps rps;
        if (!hevcShortTermRefPicSet(f, i, 2, sets, rps)) return std::string("broken");
        sets.push_back(rps);
      }
      return std::string();
    });
    expectValid(d, bytes.size());
    QCOMPARE(QString::fromStdString(d.summary), QString());
    const std::vector<const Element*> units = d.named(QStringLiteral("st_ref_pic_set"));
    QCOMPARE(units.size(), size_t(3));
    QCOMPARE(units[0]->raw, QStringLiteral("POC -1 -3 +2"));
    QCOMPARE(units[1]->raw, QStringLiteral("POC -1 -2 +1 (-1 only for later pictures)"));
    QCOMPARE(units[2]->raw, QStringLiteral("POC -2 +1 +3"));
    QCOMPARE(units[1]->offset, qint64(16));
    QCOMPARE(units[1]->size, qint64(9));
    QCOMPARE(units[2]->size, qint64(10));
    QCOMPARE(sets[1].num_negative, 2);
    QCOMPARE(sets[1].num_positive, 1);
    QCOMPARE(d.named(QStringLiteral("use_delta_flag")).size(), size_t(2));
  }

  // A truncated SPS keeps what it could read, ends its units at the last good field and shows
  // the rest as one opaque field; a VUI cut short still leaves the SPS usable for its PPS.
  void truncatedSps_data() {
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("last_field");
    QTest::addColumn<bool>("usable");
    QTest::newRow("inside time_scale") << 15 << QStringLiteral("SPS 0: Baseline@3.0, 4:2:0 8-bit, 320x240, broken")
                                       << QStringLiteral("num_units_in_tick") << true;
    QTest::newRow("after level_idc") << 4 << QStringLiteral("SPS, broken") << QStringLiteral("level_idc") << false;
  }

  void truncatedSps() {
    QFETCH(int, bytes);
    QFETCH(QString, summary);
    QFETCH(QString, last_field);
    QFETCH(bool, usable);
    const QByteArray data = nal(baselineSpsRbsp()).left(bytes);
    H264Context context;
    const Decoded d = decodeBytes(data, [&](corvanta::FieldReader& f) { return h264NalUnit(f, context); });
    expectValid(d, data.size());
    QCOMPARE(QString::fromStdString(d.summary), summary);
    const Element* last = field(d, last_field);
    QVERIFY(last);
    const Element* rest = field(d, QStringLiteral("rbsp_rest"));
    if (last->offset + last->size < data.size() * 8) {
      QVERIFY(rest);
      QCOMPARE(rest->offset, last->offset + last->size);
      QCOMPARE(rest->offset + rest->size, qint64(data.size()) * 8);
    }
    if (const Element* vui = field(d, QStringLiteral("vui_parameters")))
      QCOMPARE(vui->offset + vui->size, last->offset + last->size);
    QCOMPARE(context.sps.count(0) == 1, usable);
  }

  // Counts and sizes beyond what the format allows stop the decoding at the field that says so,
  // instead of driving a loop or a read past the data.
  void hostileValues_data() {
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("hrf");
    QTest::addColumn<QString>("opaque");
    QTest::newRow("H.264 POC cycle of 1000") << "h264" << bits({
        "0 11 00111 01000010 00000000 00011110",  // SPS header, profile 66, flags, level 30
        "1 1",                  // seq_parameter_set_id 0, log2_max_frame_num_minus4 0
        "010",                  // pic_order_cnt_type 1
        "0 1 1",                // delta_pic_order_always_zero_flag, offset_for_non_ref_pic 0, offset_for_top_to_bottom_field 0
        "000000000 1111101001", // num_ref_frames_in_pic_order_cnt_cycle ue 1000
        "111111 1 000000",      // what would be offsets, stop bit, alignment
    }) << "num_ref_frames_in_pic_order_cnt_cycle" << "out of range: at most 255" << "rbsp_rest";
    QTest::newRow("H.264 slice group ids beyond the data") << "h264" << bits({
        "0 11 01000",           // PPS header
        "1 1 0 0",              // pic_parameter_set_id 0, seq_parameter_set_id 0, CAVLC, no bottom field POC
        "011",                  // num_slice_groups_minus1 2
        "00111",                // slice_group_map_type 6
        "000000000000000000001 00000000000000000000", // pic_size_in_map_units_minus1 2^20 - 1
        "1 0000000000",         // stop bit, alignment
    }) << "pic_size_in_map_units_minus1" << "" << "rbsp_rest";
    QTest::newRow("H.265 VPS with 8 sub-layers") << "hevc" << bits({
        "0 100000 000000 001",  // forbidden_zero_bit, nal_unit_type 32 (VPS), nuh_layer_id 0, nuh_temporal_id_plus1 1
        "0000 1 1 000000",      // vps_video_parameter_set_id 0, base layer flags, vps_max_layers_minus1 0
        "111 1",                // vps_max_sub_layers_minus1 7, vps_temporal_id_nesting_flag
        "11111111 11111111",    // vps_reserved_0xffff_16bits
        "1 0000000",            // stop bit, alignment
    }) << "vps_max_sub_layers_minus1" << "out of range: at most 6" << "rbsp_rest";
    QTest::newRow("H.265 RPS of 17 pictures") << "rps" << bits({
        "000010010",            // num_negative_pics ue 17
        "1 000000",             // num_positive_pics 0, padding
    }) << "num_negative_pics" << "out of range: at most 16" << "";
    QTest::newRow("AV1 obu_size past the end") << "av1" << bits({
        "0 0001 0 1 0",         // obu_forbidden_bit, OBU_SEQUENCE_HEADER, no extension, has_size_field, reserved
        "01100100",             // obu_size leb128 100
        "00011000 00000000 00000000",  // 3 of the 100 bytes
    }) << "obu_size" << "bytes" << "obu_payload";
    QTest::newRow("Exp-Golomb code of 40 zeros") << "h264" << bits({
        "0 11 00111 01000010 00000000 00011110",  // SPS header, profile 66, flags, level 30
        "00000000 00000000 00000000 00000000 00000000 1 0000000",  // seq_parameter_set_id: no valid code
    }) << "level_idc" << "3.0" << "rbsp_rest";
  }

  void hostileValues() {
    QFETCH(QString, codec);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(QString, hrf);
    QFETCH(QString, opaque);
    H264Context h264;
    HevcContext hevc;
    Av1Context av1;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) {
      if (codec == QLatin1String("h264")) return h264NalUnit(f, h264);
      if (codec == QLatin1String("hevc")) return hevcNalUnit(f, hevc);
      if (codec == QLatin1String("av1")) return av1Obus(f, av1);
      std::vector<HevcShortTermRps> sets;
      HevcShortTermRps rps;
      return std::string(hevcShortTermRefPicSet(f, 0, 1, sets, rps) ? "decoded" : "broken");
    });
    expectValid(d, bytes.size());
    QVERIFY2(d.elements.size() < 40, qPrintable(QString::number(d.elements.size())));
    const Element* flagged = ::field(d, field);
    QVERIFY(flagged);
    QCOMPARE(flagged->hrf, hrf);
    if (!opaque.isEmpty()) {
      const Element* rest = ::field(d, opaque);
      QVERIFY2(rest, qPrintable(opaque));
      QCOMPARE(rest->offset + rest->size, qint64(bytes.size()) * 8);
    }
    QVERIFY(h264.sps.empty() && h264.pps.empty() && hevc.vps.empty() && !av1.has_sequence_header);
  }

  // The reduced still picture header of an AVIF image: one level, no operating points, no
  // inter tools; the colour config of profile 0 reads the range and the chroma sample position.
  void av1ReducedStillPictureHeader() {
    const QByteArray bytes = bits({
        "0 0001 0 1 0",  // obu_forbidden_bit, OBU_SEQUENCE_HEADER, no extension, has_size_field, reserved
        "00000110",      // obu_size 6
        "000 1 1",       // seq_profile 0, still_picture, reduced_still_picture_header
        "00000",         // seq_level_idx[0] 0 (2.0)
        "0101 0101",     // frame_width_bits_minus_1 5, frame_height_bits_minus_1 5
        "111111",        // max_frame_width_minus_1 63
        "101111",        // max_frame_height_minus_1 47
        "0 1 1",         // use_128x128_superblock, enable_filter_intra, enable_intra_edge_filter
        "0 1 1",         // enable_superres, enable_cdef, enable_restoration
        "0 0 0",         // high_bitdepth, mono_chrome, color_description_present_flag
        "1 10",          // color_range, chroma_sample_position 2 (colocated)
        "0",             // separate_uv_delta_q
        "0",             // film_grain_params_present
        "1 000",         // trailing_one_bit, trailing_zero_bits
    });
    Av1Context context;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) { return av1Obus(f, context); });
    expectValid(d, bytes.size());
    QCOMPARE(QString::fromStdString(d.summary),
             QStringLiteral("Sequence header: Main@2.0, 4:2:0 8-bit, max 64x48, still picture"));
    QVERIFY(context.has_sequence_header);
    QVERIFY(!field(d, QStringLiteral("operating_point"), 0));
    QVERIFY(!field(d, QStringLiteral("enable_order_hint")));
    QCOMPARE(field(d, QStringLiteral("seq_level_idx"), 0)->hrf, QStringLiteral("2.0"));
    QCOMPARE(field(d, QStringLiteral("chroma_sample_position"))->hrf, QStringLiteral("colocated"));
    QCOMPARE(field(d, QStringLiteral("trailing_zero_bits"))->size, qint64(3));
    QCOMPARE(d.named(QStringLiteral("obu")).front()->raw, QString::fromStdString(d.summary));
  }

  // A sequence header with order hints (3 bits), no screen content tools, CDEF or restoration,
  // frames of 64x48 at most: one superblock, so tile_info is the uniform flag alone.
  static QByteArray av1SequenceHeaderObu() {
    return bits({
        "0 0001 0 1 0", "00001010",  // OBU_SEQUENCE_HEADER, has_size_field; obu_size 10
        "000 0 0 0 0 00000",         // seq_profile, still_picture, reduced, timing_info, initial_display_delay, op count 1
        "000000000000 00000",        // operating_point_idc[0], seq_level_idx[0] (2.0, no tier)
        "0101 0101 111111 101111",   // width/height bits 6, max_frame_width_minus_1 63, max_frame_height_minus_1 47
        "0 0 0 0",                   // frame_id_numbers_present, 128x128, filter_intra, intra_edge
        "0 0 0 0 1 0 0",             // interintra, masked, warped, dual_filter, enable_order_hint, jnt_comp, ref_frame_mvs
        "0 0 010",                   // seq_choose_screen_content_tools 0, seq_force_screen_content_tools 0, order_hint_bits 3
        "0 0 0",                     // enable_superres, enable_cdef, enable_restoration
        "0 0 0 0 00 0",              // 8-bit, not mono, no colour description, limited range, chroma position, uv delta q
        "0 1 000",                   // film_grain_params_present, trailing bits
    });
  }

  // A shown key frame: every slot gets 64x48.
  static QByteArray av1KeyFrameHeaderObu() {
    return bits({
        "0 0011 0 1 0", "00000110",  // OBU_FRAME_HEADER, obu_size 6
        "0 00 1 0 0 000",            // show_existing_frame, KEY_FRAME, show_frame, disable_cdf_update, override, order_hint 0
        "0 0 1",                     // render_and_frame_size_different, disable_frame_end_update_cdf, uniform_tile_spacing
        "00100000 0 0 0 0",          // base_q_idx 32, delta_coded of Y DC, U DC, U AC, using_qmatrix
        "0 0",                       // segmentation_enabled, delta_q_present
        "000000 000000 000 0",       // loop_filter_level[0..1] 0, sharpness, loop_filter_delta_enabled
        "0 0 1 000",                 // tx_mode_select, reduced_tx_set, trailing bits
    });
  }

  // An inter frame whose size is that of the frame in slot 0 (found_ref of LAST).
  static QByteArray av1InterFrameHeaderObu() {
    return bits({
        "0 0011 0 1 0", "00001100",    // OBU_FRAME_HEADER, obu_size 12
        "0 01 1 0 0 1 001",            // show_existing_frame, INTER_FRAME, shown, error_resilient, cdf, override, order_hint 1
        "111 00000001 0",              // primary_ref_frame none, refresh_frame_flags, frame_refs_short_signaling
        "000 000 000 000 000 000 000", // ref_frame_idx[0..6]: slot 0
        "1",                           // found_ref[0]
        "0 1 1 0 1",                   // allow_high_precision_mv, is_filter_switchable, motion mode, cdf end update, uniform
        "00100000 0 0 0 0 0 0",        // base_q_idx 32, delta_coded x3, using_qmatrix, segmentation_enabled, delta_q_present
        "000000 000000 000 0",         // loop filter
        "0 0 0 0000000",               // tx_mode_select, reference_select, reduced_tx_set, is_global[1..7]
        "1 000000",                    // trailing bits
    });
  }

  // An inter frame takes its size from the reference slot that found_ref names; when no frame
  // filled that slot, the header stops there and says so rather than guess the size.
  void av1FrameSizeFromReference_data() {
    QTest::addColumn<bool>("key_frame_before");
    QTest::addColumn<QString>("summary");
    QTest::newRow("slot filled by a key frame") << true << "OBU_FRAME_HEADER, INTER_FRAME, shown, 64x48, base_q_idx 32";
    QTest::newRow("slot never filled") << false << "OBU_FRAME_HEADER, INTER_FRAME, shown";
  }

  void av1FrameSizeFromReference() {
    QFETCH(bool, key_frame_before);
    QFETCH(QString, summary);
    const QByteArray bytes =
        av1SequenceHeaderObu() + (key_frame_before ? av1KeyFrameHeaderObu() : QByteArray()) + av1InterFrameHeaderObu();
    Av1Context context;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) { return av1Obus(f, context); });
    expectValid(d, bytes.size());
    const std::vector<const Element*> obus = d.named(QStringLiteral("obu"));
    QCOMPARE(obus.back()->raw, summary);
    QCOMPARE(field(d, QStringLiteral("found_ref"), 0)->raw, QStringLiteral("1"));
    const Element* rest = field(d, QStringLiteral("frame_header_rest"));
    if (key_frame_before) {
      QVERIFY(!rest);
      QCOMPARE(field(d, QStringLiteral("is_global"), 7)->raw, QStringLiteral("0"));
      QCOMPARE(d.named(QStringLiteral("trailing_one_bit")).back()->offset + 7, qint64(bytes.size()) * 8);
      QCOMPARE(d.named(QStringLiteral("loop_filter_params")).back()->raw, QStringLiteral("levels 0 0 0 0, sharpness 0"));
    } else {
      QVERIFY(rest);
      QVERIFY2(rest->hrf.contains(QLatin1String("no frame known so far")), qPrintable(rest->hrf));
      QVERIFY(!field(d, QStringLiteral("base_q_idx")));
    }
  }

  // refresh_frame_flags decides which slots a frame fills: after the key frame (64x48 in every
  // slot), an inter frame of 32x16 refreshes slot 1 only; the next frame's found_ref then reads
  // 32x16 from slot 1 and 64x48 from slot 0.
  void av1RefreshFrameFlags_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("size");
    QTest::newRow("slot 1, refreshed by the 32x16 frame") << "001" << "32x16";
    QTest::newRow("slot 0, left alone by it") << "000" << "64x48";
  }

  void av1RefreshFrameFlags() {
    QFETCH(QString, slot);
    QFETCH(QString, size);
    const QByteArray explicit_size = bits({
        "0 0011 0 1 0", "00001110",    // OBU_FRAME_HEADER, obu_size 14
        "0 01 1 0 0 1 001",            // INTER_FRAME, shown, frame_size_override_flag, order_hint 1
        "111 00000010 0",              // primary_ref_frame none, refresh_frame_flags: slot 1, no short signaling
        "000 000 000 000 000 000 000", // ref_frame_idx[0..6]
        "0000000",                     // found_ref[0..6]: none, so the size follows
        "011111 001111 0",             // frame_width_minus_1 31, frame_height_minus_1 15, render size the same
        "0 1 1 0 1",                   // allow_high_precision_mv .. uniform_tile_spacing_flag
        "00100000 0 0 0 0 0 0",        // base_q_idx 32 .. delta_q_present
        "000000 000000 000 0",         // loop filter
        "0 0 0 0000000",               // tx_mode_select, reference_select, reduced_tx_set, is_global[1..7]
        "1 000",                       // trailing bits
    });
    const QByteArray slot_bits = slot.toLatin1();
    const QByteArray sized_by_reference = bits({
        "0 0011 0 1 0", "00001100",  // OBU_FRAME_HEADER, obu_size 12
        "0 01 1 0 0 1 010",          // INTER_FRAME, shown, frame_size_override_flag, order_hint 2
        "111 00000000 0",            // primary_ref_frame none, refreshes nothing, no short signaling
        slot_bits.constData(), slot_bits.constData(), slot_bits.constData(), slot_bits.constData(),
        slot_bits.constData(), slot_bits.constData(), slot_bits.constData(),  // ref_frame_idx[0..6]
        "1",                         // found_ref[0]
        "0 1 1 0 1",
        "00100000 0 0 0 0 0 0",
        "000000 000000 000 0",
        "0 0 0 0000000",
        "1 000000",
    });
    const QByteArray bytes = av1SequenceHeaderObu() + av1KeyFrameHeaderObu() + explicit_size + sized_by_reference;
    Av1Context context;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) { return av1Obus(f, context); });
    expectValid(d, bytes.size());
    const std::vector<const Element*> obus = d.named(QStringLiteral("obu"));
    QCOMPARE(obus.size(), size_t(4));
    QCOMPARE(obus[2]->raw, QStringLiteral("OBU_FRAME_HEADER, INTER_FRAME, shown, 32x16, base_q_idx 32"));
    QCOMPARE(obus[3]->raw, QStringLiteral("OBU_FRAME_HEADER, INTER_FRAME, shown, %1, base_q_idx 32").arg(size));
  }

  // ITU-T T.35 metadata: country code, then the payload up to the OBU's trailing bits.
  void av1MetadataItuT35() {
    const QByteArray bytes = bits({
        "0 0101 0 1 0", "00000110",  // OBU_METADATA, obu_size 6
        "00000100",                  // metadata_type 4 (LEB128)
        "10110101",                  // itu_t_t35_country_code 0xB5
        "00000000 00110001 00110010",  // three payload bytes
        "10000000",                  // trailing bits
    });
    Av1Context context;
    const Decoded d = decodeBytes(bytes, [&](corvanta::FieldReader& f) { return av1Obus(f, context); });
    expectValid(d, bytes.size());
    QCOMPARE(d.named(QStringLiteral("obu")).front()->raw, QStringLiteral("Metadata, METADATA_TYPE_ITUT_T35"));
    QCOMPARE(field(d, QStringLiteral("itu_t_t35_country_code"))->raw, QStringLiteral("181"));
    QCOMPARE(field(d, QStringLiteral("itu_t_t35_payload_bytes"))->size, qint64(24));
    QCOMPARE(field(d, QStringLiteral("trailing_zero_bits"))->size, qint64(7));
  }

  // Buffering period and pic timing: their field lengths come from the HRD of the SPS that the
  // context knows (here 8-bit delays, 20-bit initial delays, one CPB); without it the payload
  // stays one field that says why.
  void seiTimingNeedsItsSps_data() {
    QTest::addColumn<bool>("hevc");
    QTest::addColumn<bool>("sps_known");
    QTest::addColumn<QByteArray>("rbsp");
    QTest::addColumn<QString>("first_field");  // the first field of the payload, "name=raw"
    QTest::addColumn<QString>("last_field");
    const QByteArray h264_pic_timing = bits({
        "00000001 00000010",  // payloadType 1 (pic timing), payloadSize 2
        "00000101 00000110",  // cpb_removal_delay 5, dpb_output_delay 6 (8 bits each)
        "10000000",           // rbsp trailing bits
    });
    QTest::newRow("H.264 pic timing, SPS known") << false << true << h264_pic_timing << "cpb_removal_delay=5"
                                                << "dpb_output_delay=6";
    QTest::newRow("H.264 pic timing, no SPS") << false << false << h264_pic_timing << "payload_rest=05 06"
                                             << "payload_rest=05 06";
    const QByteArray h264_buffering_period = bits({
        "00000000 00000110",  // payloadType 0 (buffering period), payloadSize 6
        "1",                  // seq_parameter_set_id 0
        "00000000000000000111 00000000000000001000",  // initial_cpb_removal_delay[0] 7, offset[0] 8
        "1 000000",           // bit_equal_to_one, bit_equal_to_zero up to the byte
        "10000000",
    });
    QTest::newRow("H.264 buffering period, SPS known")
        << false << true << h264_buffering_period << "seq_parameter_set_id=0" << "bit_equal_to_zero=0";
    const QByteArray hevc_pic_timing = bits({
        "00000001 00000011",  // payloadType 1, payloadSize 3
        "0011 01 0",          // pic_struct 3, source_scan_type 1 (progressive), duplicate_flag
        "00000101 00000110",  // au_cpb_removal_delay_minus1 5, pic_dpb_output_delay 6
        "1",                  // bit_equal_to_one: the payload ends on a byte
        "10000000",
    });
    QTest::newRow("H.265 pic timing, SPS known") << true << true << hevc_pic_timing << "pic_struct=3"
                                                << "bit_equal_to_one=1";
  }

  void seiTimingNeedsItsSps() {
    QFETCH(bool, hevc);
    QFETCH(bool, sps_known);
    QFETCH(QByteArray, rbsp);
    QFETCH(QString, first_field);
    QFETCH(QString, last_field);
    SeiTimingContext timing;
    if (sps_known) {
      SeiTiming sps;
      sps.vui = true;
      sps.nal.present = true;
      sps.nal.initial_cpb_removal_delay_length = 20;
      sps.nal.cpb_removal_delay_length = sps.nal.dpb_output_delay_length = 8;
      sps.pic_struct_present = hevc;
      timing.sps[0] = sps;
    }
    const Decoded d = decodeBytes(rbsp, [&](corvanta::FieldReader& f) {
      return seiRbsp(f, hevc ? SeiSyntax::Hevc : SeiSyntax::H264, &timing);
    });
    expectValid(d, rbsp.size());
    const Element* payload = d.named(QStringLiteral("sei_payload")).front();
    std::vector<const Element*> fields;
    for (const Element& e : d.elements)
      if (e.parent == payload->id) fields.push_back(&e);
    QVERIFY(!fields.empty());
    QCOMPARE(fields.front()->name + QLatin1Char('=') + fields.front()->raw, first_field);
    QCOMPARE(fields.back()->name + QLatin1Char('=') + fields.back()->raw, last_field);
    QCOMPARE(fields.back()->offset + fields.back()->size, payload->offset + payload->size);
    if (!sps_known) QVERIFY2(fields.back()->hrf.contains(QLatin1String("active SPS")), qPrintable(fields.back()->hrf));
    if (sps_known && rbsp.at(0) == 0) QCOMPARE(timing.active_sps, qint64(0));  // a buffering period activates its SPS
  }

  // Damaged copies of each real record, decoded one after the other into one database: every
  // element stays inside its record and the tree passes the check. A fixed seed keeps a failure
  // repeatable.
  void damagedRecordsStayInside_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("record");
    for (const char* file : {"progressive.mp4", "h264-high.mp4", "h264-interlaced.mp4", "h264-444.mp4"})
      QTest::newRow(file) << QString::fromLatin1(file) << QStringLiteral("avcC");
    QTest::newRow("hevc-main10.mp4") << QStringLiteral("hevc-main10.mp4") << QStringLiteral("hvcC");
    QTest::newRow("image.heic") << QStringLiteral("image.heic") << QStringLiteral("hvcC");
    QTest::newRow("av1.mp4") << QStringLiteral("av1.mp4") << QStringLiteral("av1C");
  }

  void damagedRecordsStayInside() {
    QFETCH(QString, file);
    QFETCH(QString, record);
    const QByteArray original = recordPayload(file, record);
    QVERIFY(!original.isEmpty());
    QRandomGenerator random(20240611);
    constexpr int kCopies = 300;
    QByteArray all;
    std::vector<std::pair<int, int>> ranges;
    for (int i = 0; i < kCopies; ++i) {
      const QByteArray copy = damaged(original, random);
      ranges.push_back({int(all.size()), int(all.size() + copy.size())});
      all += copy;
    }
    const Decoded d = decodeBytes(all, [&](corvanta::FieldReader& whole) {
      for (const auto& [begin, end] : ranges) {
        corvanta::FieldReader f(whole.writer(), whole.fileData(), begin, end);
        whole.writer().openUnit("record", int64_t(begin) * 8, int64_t(end - begin) * 8);
        if (record == QLatin1String("avcC")) avcConfiguration(f);
        else if (record == QLatin1String("hvcC")) hevcConfiguration(f);
        else av1Configuration(f);
        whole.writer().closeUnit();
      }
      return std::string();
    });
    QVERIFY2(d.report.ok(), qPrintable(d.report.summary()));
    QCOMPARE(d.named(QStringLiteral("record")).size(), size_t(kCopies));
    for (const Element& e : d.elements) QVERIFY2(!e.hrf.contains(QLatin1String("truncated")), qPrintable(e.name));
  }
};

CORVANTA_TEST_CORE_MAIN(CodecFixturesTest)
#include "CodecFixturesTest.moc"
