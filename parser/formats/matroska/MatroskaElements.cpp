#include "formats/matroska/MatroskaElements.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace corvanta::matroska {

namespace {

// Value names of the enumerations, as the element table names them.
const ValueName kChapterTranslateCodec[] = {{0, "Matroska Script"}, {1, "DVD-menu"}};
const ValueName kTrackType[] = {{1, "video"},    {2, "audio"},    {3, "complex"}, {16, "logo"},
                                {17, "subtitle"}, {18, "buttons"}, {32, "control"}, {33, "metadata"}};
const ValueName kFlagInterlaced[] = {{0, "undetermined"}, {1, "interlaced"}, {2, "progressive"}};
const ValueName kFieldOrder[] = {{0, "progressive"}, {1, "tff"},           {2, "undetermined"},
                                 {6, "bff"},         {9, "bff(swapped)"}, {14, "tff(swapped)"}};
const ValueName kStereoMode[] = {{0, "mono"},
                                 {1, "side by side (left eye first)"},
                                 {2, "top - bottom (right eye is first)"},
                                 {3, "top - bottom (left eye is first)"},
                                 {4, "checkboard (right eye is first)"},
                                 {5, "checkboard (left eye is first)"},
                                 {6, "row interleaved (right eye is first)"},
                                 {7, "row interleaved (left eye is first)"},
                                 {8, "column interleaved (right eye is first)"},
                                 {9, "column interleaved (left eye is first)"},
                                 {10, "anaglyph (cyan/red)"},
                                 {11, "side by side (right eye first)"},
                                 {12, "anaglyph (green/magenta)"},
                                 {13, "both eyes laced in one Block (left eye is first)"},
                                 {14, "both eyes laced in one Block (right eye is first)"}};
const ValueName kAlphaMode[] = {{0, "none"}, {1, "present"}};
const ValueName kOldStereoMode[] = {{0, "mono"}, {1, "right eye"}, {2, "left eye"}, {3, "both eyes"}};
const ValueName kDisplayUnit[] = {{0, "pixels"}, {1, "centimeters"}, {2, "inches"}, {3, "display aspect ratio"},
                                  {4, "unknown"}};
const ValueName kAspectRatioType[] = {{0, "free resizing"}, {1, "keep aspect ratio"}, {2, "fixed"}};
const ValueName kMatrixCoefficients[] = {{0, "Identity"},
                                         {1, "ITU-R BT.709"},
                                         {2, "unspecified"},
                                         {3, "reserved"},
                                         {4, "US FCC 73.682"},
                                         {5, "ITU-R BT.470BG"},
                                         {6, "SMPTE 170M"},
                                         {7, "SMPTE 240M"},
                                         {8, "YCoCg"},
                                         {9, "BT2020 Non-constant Luminance"},
                                         {10, "BT2020 Constant Luminance"},
                                         {11, "SMPTE ST 2085"},
                                         {12, "Chroma-derived Non-constant Luminance"},
                                         {13, "Chroma-derived Constant Luminance"},
                                         {14, "ITU-R BT.2100-0"}};
const ValueName kChromaSitingHorz[] = {{0, "unspecified"}, {1, "left collocated"}, {2, "half"}};
const ValueName kChromaSitingVert[] = {{0, "unspecified"}, {1, "top collocated"}, {2, "half"}};
const ValueName kRange[] = {{0, "unspecified"},
                            {1, "broadcast range"},
                            {2, "full range (no clipping)"},
                            {3, "defined by MatrixCoefficients / TransferCharacteristics"}};
const ValueName kTransferCharacteristics[] = {{0, "reserved"},
                                              {1, "ITU-R BT.709"},
                                              {2, "unspecified"},
                                              {3, "reserved"},
                                              {4, "Gamma 2.2 curve - BT.470M"},
                                              {5, "Gamma 2.8 curve - BT.470BG"},
                                              {6, "SMPTE 170M"},
                                              {7, "SMPTE 240M"},
                                              {8, "Linear"},
                                              {9, "Log"},
                                              {10, "Log Sqrt"},
                                              {11, "IEC 61966-2-4"},
                                              {12, "ITU-R BT.1361 Extended Colour Gamut"},
                                              {13, "IEC 61966-2-1"},
                                              {14, "ITU-R BT.2020 10 bit"},
                                              {15, "ITU-R BT.2020 12 bit"},
                                              {16, "ITU-R BT.2100 Perceptual Quantization"},
                                              {17, "SMPTE ST 428-1"},
                                              {18, "ARIB STD-B67 (HLG)"}};
const ValueName kPrimaries[] = {{0, "reserved"},
                                {1, "ITU-R BT.709"},
                                {2, "unspecified"},
                                {3, "reserved"},
                                {4, "ITU-R BT.470M"},
                                {5, "ITU-R BT.470BG - BT.601 625"},
                                {6, "ITU-R BT.601 525 - SMPTE 170M"},
                                {7, "SMPTE 240M"},
                                {8, "FILM"},
                                {9, "ITU-R BT.2020"},
                                {10, "SMPTE ST 428-1"},
                                {11, "SMPTE RP 432-2"},
                                {12, "SMPTE EG 432-2"},
                                {22, "EBU Tech. 3213-E - JEDEC P22 phosphors"}};
const ValueName kProjectionType[] = {{0, "rectangular"}, {1, "equirectangular"}, {2, "cubemap"}, {3, "mesh"}};
const ValueName kEmphasis[] = {{0, "No emphasis"},         {1, "CD audio"},           {2, "reserved"},
                               {3, "CCIT J.17"},           {4, "FM 50"},              {5, "FM 75"},
                               {10, "Phono RIAA"},         {11, "Phono IEC N78"},     {12, "Phono TELDEC"},
                               {13, "Phono EMI"},          {14, "Phono Columbia LP"}, {15, "Phono LONDON"},
                               {16, "Phono NARTB"}};
const ValueName kTrackPlaneType[] = {{0, "left eye"}, {1, "right eye"}, {2, "background"}};
const ValueName kContentEncodingScope[] = {{1, "Block"}, {2, "Private"}, {4, "Next"}};
const ValueName kContentEncodingType[] = {{0, "Compression"}, {1, "Encryption"}};
const ValueName kContentCompAlgo[] = {{0, "zlib"}, {1, "bzlib"}, {2, "lzo1x"}, {3, "Header Stripping"}};
const ValueName kContentEncAlgo[] = {{0, "Not encrypted"}, {1, "DES"},      {2, "3DES"},
                                     {3, "Twofish"},       {4, "Blowfish"}, {5, "AES"}};
const ValueName kAesCipherMode[] = {{1, "AES-CTR"}, {2, "AES-CBC"}};
const ValueName kContentSigAlgo[] = {{0, "Not signed"}, {1, "RSA"}};
const ValueName kContentSigHashAlgo[] = {{0, "Not signed"}, {1, "SHA1-160"}, {2, "MD5"}};
const ValueName kChapterSkipType[] = {{0, "No Skipping"}, {1, "Opening Credits"}, {2, "End Credits"},
                                      {3, "Recap"},       {4, "Next Preview"},    {5, "Preview"},
                                      {6, "Advertisement"}, {7, "Intermission"}};
const ValueName kChapterPhysicalEquiv[] = {{70, "SET / PACKAGE"},
                                           {60, "CD / 12\" / 10\" / 7\" / TAPE / MINIDISC / DAT / DVD / BD"},
                                           {50, "SIDE"},
                                           {40, "LAYER"},
                                           {30, "SESSION"},
                                           {20, "TRACK"},
                                           {10, "INDEX"}};
const ValueName kChapProcessCodecId[] = {{0, "Matroska Script"}, {1, "DVD-menu"}};
const ValueName kChapProcessTime[] = {
    {0, "during the whole chapter"}, {1, "before starting playback"}, {2, "after playback of the chapter"}};
const ValueName kTargetTypeValue[] = {{70, "COLLECTION"},
                                      {60, "EDITION / ISSUE / VOLUME / OPUS / SEASON / SEQUEL"},
                                      {50, "ALBUM / OPERA / CONCERT / MOVIE / EPISODE"},
                                      {40, "PART / SESSION"},
                                      {30, "TRACK / SONG / CHAPTER"},
                                      {20, "SUBTRACK / PART / MOVEMENT / SCENE"},
                                      {10, "SHOT"}};
const ValueName kSignatureAlgo[] = {{0, "not signed"}, {1, "RSA"}, {2, "elliptic"}};
const ValueName kSignatureHash[] = {{0, "not signed"}, {1, "SHA1-160"}, {2, "MD5"}};

constexpr EbmlType M = EbmlType::Master;
constexpr EbmlType U = EbmlType::Unsigned;
constexpr EbmlType I = EbmlType::Signed;
constexpr EbmlType F = EbmlType::Float;
constexpr EbmlType S = EbmlType::String;
constexpr EbmlType T = EbmlType::Utf8;
constexpr EbmlType D = EbmlType::Date;
constexpr EbmlType B = EbmlType::Binary;

using VF = ValueForm;
constexpr bool W = true;   // in the WebM subset
constexpr bool X = false;  // not in the WebM subset

#define NAMES(table) table, uint8_t(std::size(table))
#define NONE nullptr, 0

// Parents by element ID, for the lines below.
constexpr uint32_t kEbml = id::kEbml, kSegment = id::kSegment, kSeekHead = id::kSeekHead, kSeek = id::kSeek,
                   kInfo = id::kInfo, kChapterTranslate = 0x6924, kCluster = id::kCluster,
                   kSilentTracks = 0x5854, kBlockGroup = id::kBlockGroup, kBlockAdditions = 0x75A1,
                   kBlockMore = 0xA6, kSlices = 0x8E, kTimeSlice = 0xE8, kReferenceFrame = 0xC8,
                   kTracks = id::kTracks, kTrackEntry = id::kTrackEntry, kBlockAdditionMapping = 0x41E4,
                   kTrackTranslate = 0x6624, kVideo = id::kVideo, kColour = 0x55B0, kMasteringMetadata = 0x55D0,
                   kProjection = 0x7670, kAudio = id::kAudio, kTrackOperation = 0xE2, kTrackCombinePlanes = 0xE3,
                   kTrackPlane = 0xE4, kTrackJoinBlocks = 0xE9, kContentEncodings = id::kContentEncodings,
                   kContentEncoding = id::kContentEncoding, kContentCompression = id::kContentCompression,
                   kContentEncryption = id::kContentEncryption, kContentEncAesSettings = 0x47E7, kCues = id::kCues,
                   kCuePoint = id::kCuePoint, kCueTrackPositions = id::kCueTrackPositions, kCueReference = 0xDB,
                   kAttachments = id::kAttachments, kAttachedFile = id::kAttachedFile, kChapters = id::kChapters,
                   kEditionEntry = id::kEditionEntry, kEditionDisplay = 0x4520, kChapterAtom = id::kChapterAtom,
                   kChapterTrack = 0x8F, kChapterDisplay = id::kChapterDisplay, kChapProcess = 0x6944,
                   kChapProcessCommand = 0x6911, kTags = id::kTags, kTag = id::kTag, kTargets = id::kTargets,
                   kSimpleTag = id::kSimpleTag, kDocTypeExtension = 0x4281, kSignatureSlot = 0x1B538667,
                   kSignatureElements = 0x7E5B, kSignatureElementList = 0x7E7B;

// The element table: every element of Matroska and WebM with the elements of the EBML header,
// the global elements and the legacy elements still found in files.
// {ID, name, type, parent, other parent, value names, readable form, WebM}
const ElementType kElements[] = {
    // EBML header and global elements
    {0x1A45DFA3, "EBML", M, kRoot, kRoot, NONE, VF::Plain, W},
    {0x4286, "EBMLVersion", U, kEbml, kRoot, NONE, VF::Plain, W},
    {0x42F7, "EBMLReadVersion", U, kEbml, kRoot, NONE, VF::Plain, W},
    {0x42F2, "EBMLMaxIDLength", U, kEbml, kRoot, NONE, VF::Plain, W},
    {0x42F3, "EBMLMaxSizeLength", U, kEbml, kRoot, NONE, VF::Plain, W},
    {0x4282, "DocType", S, kEbml, kRoot, NONE, VF::Plain, W},
    {0x4287, "DocTypeVersion", U, kEbml, kRoot, NONE, VF::Plain, W},
    {0x4285, "DocTypeReadVersion", U, kEbml, kRoot, NONE, VF::Plain, W},
    {0x4281, "DocTypeExtension", M, kEbml, kRoot, NONE, VF::Plain, W},
    {0x4283, "DocTypeExtensionName", S, kDocTypeExtension, kRoot, NONE, VF::Plain, W},
    {0x4284, "DocTypeExtensionVersion", U, kDocTypeExtension, kRoot, NONE, VF::Plain, W},
    {0xEC, "Void", B, kAnyParent, kRoot, NONE, VF::Padding, W},
    {0xBF, "CRC-32", B, kAnyParent, kRoot, NONE, VF::Plain, W},
    // Segment and the seek index
    {0x18538067, "Segment", M, kRoot, kRoot, NONE, VF::Plain, W},
    {0x114D9B74, "SeekHead", M, kSegment, kRoot, NONE, VF::Plain, W},
    {0x4DBB, "Seek", M, kSeekHead, kRoot, NONE, VF::Plain, W},
    {0x53AB, "SeekID", B, kSeek, kRoot, NONE, VF::ElementId, W},
    {0x53AC, "SeekPosition", U, kSeek, kRoot, NONE, VF::SegmentPosition, W},
    // Segment information
    {0x1549A966, "Info", M, kSegment, kRoot, NONE, VF::Plain, W},
    {0x73A4, "SegmentUUID", B, kInfo, kRoot, NONE, VF::Uuid, X},
    {0x7384, "SegmentFilename", T, kInfo, kRoot, NONE, VF::Plain, X},
    {0x3CB923, "PrevUUID", B, kInfo, kRoot, NONE, VF::Uuid, X},
    {0x3C83AB, "PrevFilename", T, kInfo, kRoot, NONE, VF::Plain, X},
    {0x3EB923, "NextUUID", B, kInfo, kRoot, NONE, VF::Uuid, X},
    {0x3E83BB, "NextFilename", T, kInfo, kRoot, NONE, VF::Plain, X},
    {0x4444, "SegmentFamily", B, kInfo, kRoot, NONE, VF::Uuid, X},
    {0x6924, "ChapterTranslate", M, kInfo, kRoot, NONE, VF::Plain, X},
    {0x69A5, "ChapterTranslateID", B, kChapterTranslate, kRoot, NONE, VF::Plain, X},
    {0x69BF, "ChapterTranslateCodec", U, kChapterTranslate, kRoot, NAMES(kChapterTranslateCodec), VF::Plain, X},
    {0x69FC, "ChapterTranslateEditionUID", U, kChapterTranslate, kRoot, NONE, VF::Plain, X},
    {0x2AD7B1, "TimestampScale", U, kInfo, kRoot, NONE, VF::TimestampScale, W},
    {0x4489, "Duration", F, kInfo, kRoot, NONE, VF::SegmentTicks, W},
    {0x4461, "DateUTC", D, kInfo, kRoot, NONE, VF::Plain, W},
    {0x7BA9, "Title", T, kInfo, kRoot, NONE, VF::Plain, W},
    {0x4D80, "MuxingApp", T, kInfo, kRoot, NONE, VF::Plain, W},
    {0x5741, "WritingApp", T, kInfo, kRoot, NONE, VF::Plain, W},
    // Clusters and blocks
    {0x1F43B675, "Cluster", M, kSegment, kRoot, NONE, VF::Plain, W},
    {0xE7, "Timestamp", U, kCluster, kRoot, NONE, VF::SegmentTicks, W},
    {0x5854, "SilentTracks", M, kCluster, kRoot, NONE, VF::Plain, X},
    {0x58D7, "SilentTrackNumber", U, kSilentTracks, kRoot, NONE, VF::Plain, X},
    {0xA7, "Position", U, kCluster, kRoot, NONE, VF::Plain, X},
    {0xAB, "PrevSize", U, kCluster, kRoot, NONE, VF::Plain, W},
    {0xA3, "SimpleBlock", B, kCluster, kRoot, NONE, VF::Plain, W},
    {0xA0, "BlockGroup", M, kCluster, kRoot, NONE, VF::Plain, W},
    {0xA1, "Block", B, kBlockGroup, kRoot, NONE, VF::Plain, W},
    {0xA2, "BlockVirtual", B, kBlockGroup, kRoot, NONE, VF::Plain, X},
    {0x75A1, "BlockAdditions", M, kBlockGroup, kRoot, NONE, VF::Plain, W},
    {0xA6, "BlockMore", M, kBlockAdditions, kRoot, NONE, VF::Plain, W},
    {0xA5, "BlockAdditional", B, kBlockMore, kRoot, NONE, VF::Plain, W},
    {0xEE, "BlockAddID", U, kBlockMore, kRoot, NONE, VF::Plain, W},
    {0x9B, "BlockDuration", U, kBlockGroup, kRoot, NONE, VF::SegmentTicks, W},
    {0xFA, "ReferencePriority", U, kBlockGroup, kRoot, NONE, VF::Plain, X},
    {0xFB, "ReferenceBlock", I, kBlockGroup, kRoot, NONE, VF::SegmentTicks, W},
    {0xFD, "ReferenceVirtual", I, kBlockGroup, kRoot, NONE, VF::Plain, X},
    {0xA4, "CodecState", B, kBlockGroup, kRoot, NONE, VF::Plain, X},
    {0x75A2, "DiscardPadding", I, kBlockGroup, kRoot, NONE, VF::Nanoseconds, W},
    {0x8E, "Slices", M, kBlockGroup, kRoot, NONE, VF::Plain, X},
    {0xE8, "TimeSlice", M, kSlices, kRoot, NONE, VF::Plain, X},
    {0xCC, "LaceNumber", U, kTimeSlice, kRoot, NONE, VF::Plain, X},
    {0xCD, "FrameNumber", U, kTimeSlice, kRoot, NONE, VF::Plain, X},
    {0xCB, "BlockAdditionID", U, kTimeSlice, kRoot, NONE, VF::Plain, X},
    {0xCE, "Delay", U, kTimeSlice, kRoot, NONE, VF::SegmentTicks, X},
    {0xCF, "SliceDuration", U, kTimeSlice, kRoot, NONE, VF::SegmentTicks, X},
    {0xC8, "ReferenceFrame", M, kBlockGroup, kRoot, NONE, VF::Plain, X},
    {0xC9, "ReferenceOffset", U, kReferenceFrame, kRoot, NONE, VF::Plain, X},
    {0xCA, "ReferenceTimestamp", U, kReferenceFrame, kRoot, NONE, VF::SegmentTicks, X},
    {0xAF, "EncryptedBlock", B, kCluster, kRoot, NONE, VF::Plain, X},
    // Tracks
    {0x1654AE6B, "Tracks", M, kSegment, kRoot, NONE, VF::Plain, W},
    {0xAE, "TrackEntry", M, kTracks, kRoot, NONE, VF::Plain, W},
    {0xD7, "TrackNumber", U, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x73C5, "TrackUID", U, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x83, "TrackType", U, kTrackEntry, kRoot, NAMES(kTrackType), VF::Plain, W},
    {0xB9, "FlagEnabled", U, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x88, "FlagDefault", U, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x55AA, "FlagForced", U, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x55AB, "FlagHearingImpaired", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x55AC, "FlagVisualImpaired", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x55AD, "FlagTextDescriptions", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x55AE, "FlagOriginal", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x55AF, "FlagCommentary", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x9C, "FlagLacing", U, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x6DE7, "MinCache", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x6DF8, "MaxCache", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x23E383, "DefaultDuration", U, kTrackEntry, kRoot, NONE, VF::DefaultDuration, W},
    {0x234E7A, "DefaultDecodedFieldDuration", U, kTrackEntry, kRoot, NONE, VF::Nanoseconds, X},
    {0x23314F, "TrackTimestampScale", F, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x537F, "TrackOffset", I, kTrackEntry, kRoot, NONE, VF::Nanoseconds, X},
    {0x55EE, "MaxBlockAdditionID", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x41E4, "BlockAdditionMapping", M, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x41F0, "BlockAddIDValue", U, kBlockAdditionMapping, kRoot, NONE, VF::Plain, X},
    {0x41A4, "BlockAddIDName", S, kBlockAdditionMapping, kRoot, NONE, VF::Plain, X},
    {0x41E7, "BlockAddIDType", U, kBlockAdditionMapping, kRoot, NONE, VF::Plain, X},
    {0x41ED, "BlockAddIDExtraData", B, kBlockAdditionMapping, kRoot, NONE, VF::Plain, X},
    {0x536E, "Name", T, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x22B59C, "Language", S, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x22B59D, "LanguageBCP47", S, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x86, "CodecID", S, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x63A2, "CodecPrivate", B, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x258688, "CodecName", T, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x7446, "AttachmentLink", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x3A9697, "CodecSettings", T, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x3B4040, "CodecInfoURL", S, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x26B240, "CodecDownloadURL", S, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0xAA, "CodecDecodeAll", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x6FAB, "TrackOverlay", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x56AA, "CodecDelay", U, kTrackEntry, kRoot, NONE, VF::Nanoseconds, W},
    {0x56BB, "SeekPreRoll", U, kTrackEntry, kRoot, NONE, VF::Nanoseconds, W},
    {0x6624, "TrackTranslate", M, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0x66A5, "TrackTranslateTrackID", B, kTrackTranslate, kRoot, NONE, VF::Plain, X},
    {0x66BF, "TrackTranslateCodec", U, kTrackTranslate, kRoot, NAMES(kChapterTranslateCodec), VF::Plain, X},
    {0x66FC, "TrackTranslateEditionUID", U, kTrackTranslate, kRoot, NONE, VF::Plain, X},
    // Video
    {0xE0, "Video", M, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x9A, "FlagInterlaced", U, kVideo, kRoot, NAMES(kFlagInterlaced), VF::Plain, W},
    {0x9D, "FieldOrder", U, kVideo, kRoot, NAMES(kFieldOrder), VF::Plain, X},
    {0x53B8, "StereoMode", U, kVideo, kRoot, NAMES(kStereoMode), VF::Plain, W},
    {0x53C0, "AlphaMode", U, kVideo, kRoot, NAMES(kAlphaMode), VF::Plain, W},
    {0x53B9, "OldStereoMode", U, kVideo, kRoot, NAMES(kOldStereoMode), VF::Plain, X},
    {0xB0, "PixelWidth", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0xBA, "PixelHeight", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0x54AA, "PixelCropBottom", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0x54BB, "PixelCropTop", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0x54CC, "PixelCropLeft", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0x54DD, "PixelCropRight", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0x54B0, "DisplayWidth", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0x54BA, "DisplayHeight", U, kVideo, kRoot, NONE, VF::Plain, W},
    {0x54B2, "DisplayUnit", U, kVideo, kRoot, NAMES(kDisplayUnit), VF::Plain, W},
    {0x54B3, "AspectRatioType", U, kVideo, kRoot, NAMES(kAspectRatioType), VF::Plain, X},
    {0x2EB524, "UncompressedFourCC", B, kVideo, kRoot, NONE, VF::FourCC, X},
    {0x2FB523, "GammaValue", F, kVideo, kRoot, NONE, VF::Plain, X},
    {0x2383E3, "FrameRate", F, kVideo, kRoot, NONE, VF::Plain, X},
    {0x55B0, "Colour", M, kVideo, kRoot, NONE, VF::Plain, W},
    {0x55B1, "MatrixCoefficients", U, kColour, kRoot, NAMES(kMatrixCoefficients), VF::Plain, W},
    {0x55B2, "BitsPerChannel", U, kColour, kRoot, NONE, VF::Bits, W},
    {0x55B3, "ChromaSubsamplingHorz", U, kColour, kRoot, NONE, VF::Plain, W},
    {0x55B4, "ChromaSubsamplingVert", U, kColour, kRoot, NONE, VF::Plain, W},
    {0x55B5, "CbSubsamplingHorz", U, kColour, kRoot, NONE, VF::Plain, W},
    {0x55B6, "CbSubsamplingVert", U, kColour, kRoot, NONE, VF::Plain, W},
    {0x55B7, "ChromaSitingHorz", U, kColour, kRoot, NAMES(kChromaSitingHorz), VF::Plain, W},
    {0x55B8, "ChromaSitingVert", U, kColour, kRoot, NAMES(kChromaSitingVert), VF::Plain, W},
    {0x55B9, "Range", U, kColour, kRoot, NAMES(kRange), VF::Plain, W},
    {0x55BA, "TransferCharacteristics", U, kColour, kRoot, NAMES(kTransferCharacteristics), VF::Plain, W},
    {0x55BB, "Primaries", U, kColour, kRoot, NAMES(kPrimaries), VF::Plain, W},
    {0x55BC, "MaxCLL", U, kColour, kRoot, NONE, VF::Plain, W},
    {0x55BD, "MaxFALL", U, kColour, kRoot, NONE, VF::Plain, W},
    {0x55D0, "MasteringMetadata", M, kColour, kRoot, NONE, VF::Plain, W},
    {0x55D1, "PrimaryRChromaticityX", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D2, "PrimaryRChromaticityY", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D3, "PrimaryGChromaticityX", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D4, "PrimaryGChromaticityY", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D5, "PrimaryBChromaticityX", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D6, "PrimaryBChromaticityY", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D7, "WhitePointChromaticityX", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D8, "WhitePointChromaticityY", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55D9, "LuminanceMax", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x55DA, "LuminanceMin", F, kMasteringMetadata, kRoot, NONE, VF::Plain, W},
    {0x7670, "Projection", M, kVideo, kRoot, NONE, VF::Plain, W},
    {0x7671, "ProjectionType", U, kProjection, kRoot, NAMES(kProjectionType), VF::Plain, W},
    {0x7672, "ProjectionPrivate", B, kProjection, kRoot, NONE, VF::Plain, W},
    {0x7673, "ProjectionPoseYaw", F, kProjection, kRoot, NONE, VF::Plain, W},
    {0x7674, "ProjectionPosePitch", F, kProjection, kRoot, NONE, VF::Plain, W},
    {0x7675, "ProjectionPoseRoll", F, kProjection, kRoot, NONE, VF::Plain, W},
    // Audio
    {0xE1, "Audio", M, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0xB5, "SamplingFrequency", F, kAudio, kRoot, NONE, VF::Hertz, W},
    {0x78B5, "OutputSamplingFrequency", F, kAudio, kRoot, NONE, VF::Hertz, W},
    {0x9F, "Channels", U, kAudio, kRoot, NONE, VF::Plain, W},
    {0x7D7B, "ChannelPositions", B, kAudio, kRoot, NONE, VF::Plain, X},
    {0x6264, "BitDepth", U, kAudio, kRoot, NONE, VF::Bits, W},
    {0x52F1, "Emphasis", U, kAudio, kRoot, NAMES(kEmphasis), VF::Plain, X},
    // Track operations, trick tracks, content encodings
    {0xE2, "TrackOperation", M, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0xE3, "TrackCombinePlanes", M, kTrackOperation, kRoot, NONE, VF::Plain, X},
    {0xE4, "TrackPlane", M, kTrackCombinePlanes, kRoot, NONE, VF::Plain, X},
    {0xE5, "TrackPlaneUID", U, kTrackPlane, kRoot, NONE, VF::Plain, X},
    {0xE6, "TrackPlaneType", U, kTrackPlane, kRoot, NAMES(kTrackPlaneType), VF::Plain, X},
    {0xE9, "TrackJoinBlocks", M, kTrackOperation, kRoot, NONE, VF::Plain, X},
    {0xED, "TrackJoinUID", U, kTrackJoinBlocks, kRoot, NONE, VF::Plain, X},
    {0xC0, "TrickTrackUID", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0xC1, "TrickTrackSegmentUID", B, kTrackEntry, kRoot, NONE, VF::Uuid, X},
    {0xC6, "TrickTrackFlag", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0xC7, "TrickMasterTrackUID", U, kTrackEntry, kRoot, NONE, VF::Plain, X},
    {0xC4, "TrickMasterTrackSegmentUID", B, kTrackEntry, kRoot, NONE, VF::Uuid, X},
    {0x6D80, "ContentEncodings", M, kTrackEntry, kRoot, NONE, VF::Plain, W},
    {0x6240, "ContentEncoding", M, kContentEncodings, kRoot, NONE, VF::Plain, W},
    {0x5031, "ContentEncodingOrder", U, kContentEncoding, kRoot, NONE, VF::Plain, W},
    {0x5032, "ContentEncodingScope", U, kContentEncoding, kRoot, NAMES(kContentEncodingScope), VF::BitMask, W},
    {0x5033, "ContentEncodingType", U, kContentEncoding, kRoot, NAMES(kContentEncodingType), VF::Plain, W},
    {0x5034, "ContentCompression", M, kContentEncoding, kRoot, NONE, VF::Plain, X},
    {0x4254, "ContentCompAlgo", U, kContentCompression, kRoot, NAMES(kContentCompAlgo), VF::Plain, X},
    {0x4255, "ContentCompSettings", B, kContentCompression, kRoot, NONE, VF::Plain, X},
    {0x5035, "ContentEncryption", M, kContentEncoding, kRoot, NONE, VF::Plain, W},
    {0x47E1, "ContentEncAlgo", U, kContentEncryption, kRoot, NAMES(kContentEncAlgo), VF::Plain, W},
    {0x47E2, "ContentEncKeyID", B, kContentEncryption, kRoot, NONE, VF::Plain, W},
    {0x47E7, "ContentEncAESSettings", M, kContentEncryption, kRoot, NONE, VF::Plain, W},
    {0x47E8, "AESSettingsCipherMode", U, kContentEncAesSettings, kRoot, NAMES(kAesCipherMode), VF::Plain, W},
    {0x47E3, "ContentSignature", B, kContentEncryption, kRoot, NONE, VF::Plain, X},
    {0x47E4, "ContentSigKeyID", B, kContentEncryption, kRoot, NONE, VF::Plain, X},
    {0x47E5, "ContentSigAlgo", U, kContentEncryption, kRoot, NAMES(kContentSigAlgo), VF::Plain, X},
    {0x47E6, "ContentSigHashAlgo", U, kContentEncryption, kRoot, NAMES(kContentSigHashAlgo), VF::Plain, X},
    // Cues
    {0x1C53BB6B, "Cues", M, kSegment, kRoot, NONE, VF::Plain, W},
    {0xBB, "CuePoint", M, kCues, kRoot, NONE, VF::Plain, W},
    {0xB3, "CueTime", U, kCuePoint, kRoot, NONE, VF::SegmentTicks, W},
    {0xB7, "CueTrackPositions", M, kCuePoint, kRoot, NONE, VF::Plain, W},
    {0xF7, "CueTrack", U, kCueTrackPositions, kRoot, NONE, VF::Plain, W},
    {0xF1, "CueClusterPosition", U, kCueTrackPositions, kRoot, NONE, VF::SegmentPosition, W},
    {0xF0, "CueRelativePosition", U, kCueTrackPositions, kRoot, NONE, VF::ClusterPosition, W},
    {0xB2, "CueDuration", U, kCueTrackPositions, kRoot, NONE, VF::SegmentTicks, W},
    {0x5378, "CueBlockNumber", U, kCueTrackPositions, kRoot, NONE, VF::Plain, W},
    {0xEA, "CueCodecState", U, kCueTrackPositions, kRoot, NONE, VF::Plain, X},
    {0xDB, "CueReference", M, kCueTrackPositions, kRoot, NONE, VF::Plain, X},
    {0x96, "CueRefTime", U, kCueReference, kRoot, NONE, VF::SegmentTicks, X},
    {0x97, "CueRefCluster", U, kCueReference, kRoot, NONE, VF::Plain, X},
    {0x535F, "CueRefNumber", U, kCueReference, kRoot, NONE, VF::Plain, X},
    {0xEB, "CueRefCodecState", U, kCueReference, kRoot, NONE, VF::Plain, X},
    // Attachments
    {0x1941A469, "Attachments", M, kSegment, kRoot, NONE, VF::Plain, X},
    {0x61A7, "AttachedFile", M, kAttachments, kRoot, NONE, VF::Plain, X},
    {0x467E, "FileDescription", T, kAttachedFile, kRoot, NONE, VF::Plain, X},
    {0x466E, "FileName", T, kAttachedFile, kRoot, NONE, VF::Plain, X},
    {0x4660, "FileMediaType", S, kAttachedFile, kRoot, NONE, VF::Plain, X},
    {0x465C, "FileData", B, kAttachedFile, kRoot, NONE, VF::Plain, X},
    {0x46AE, "FileUID", U, kAttachedFile, kRoot, NONE, VF::Plain, X},
    {0x4675, "FileReferral", B, kAttachedFile, kRoot, NONE, VF::Plain, X},
    {0x4661, "FileUsedStartTime", U, kAttachedFile, kRoot, NONE, VF::SegmentTicks, X},
    {0x4662, "FileUsedEndTime", U, kAttachedFile, kRoot, NONE, VF::SegmentTicks, X},
    // Chapters
    {0x1043A770, "Chapters", M, kSegment, kRoot, NONE, VF::Plain, W},
    {0x45B9, "EditionEntry", M, kChapters, kRoot, NONE, VF::Plain, W},
    {0x45BC, "EditionUID", U, kEditionEntry, kRoot, NONE, VF::Plain, X},
    {0x45BD, "EditionFlagHidden", U, kEditionEntry, kRoot, NONE, VF::Plain, X},
    {0x45DB, "EditionFlagDefault", U, kEditionEntry, kRoot, NONE, VF::Plain, X},
    {0x45DD, "EditionFlagOrdered", U, kEditionEntry, kRoot, NONE, VF::Plain, X},
    {0x4520, "EditionDisplay", M, kEditionEntry, kRoot, NONE, VF::Plain, X},
    {0x4521, "EditionString", T, kEditionDisplay, kRoot, NONE, VF::Plain, X},
    {0x45E4, "EditionLanguageIETF", S, kEditionDisplay, kRoot, NONE, VF::Plain, X},
    {0xB6, "ChapterAtom", M, kEditionEntry, kChapterAtom, NONE, VF::Plain, W},
    {0x73C4, "ChapterUID", U, kChapterAtom, kRoot, NONE, VF::Plain, W},
    {0x5654, "ChapterStringUID", T, kChapterAtom, kRoot, NONE, VF::Plain, W},
    {0x91, "ChapterTimeStart", U, kChapterAtom, kRoot, NONE, VF::Nanoseconds, W},
    {0x92, "ChapterTimeEnd", U, kChapterAtom, kRoot, NONE, VF::Nanoseconds, W},
    {0x98, "ChapterFlagHidden", U, kChapterAtom, kRoot, NONE, VF::Plain, X},
    {0x4598, "ChapterFlagEnabled", U, kChapterAtom, kRoot, NONE, VF::Plain, X},
    {0x6E67, "ChapterSegmentUUID", B, kChapterAtom, kRoot, NONE, VF::Uuid, X},
    {0x4588, "ChapterSkipType", U, kChapterAtom, kRoot, NAMES(kChapterSkipType), VF::Plain, X},
    {0x6EBC, "ChapterSegmentEditionUID", U, kChapterAtom, kRoot, NONE, VF::Plain, X},
    {0x63C3, "ChapterPhysicalEquiv", U, kChapterAtom, kRoot, NAMES(kChapterPhysicalEquiv), VF::Plain, X},
    {0x8F, "ChapterTrack", M, kChapterAtom, kRoot, NONE, VF::Plain, X},
    {0x89, "ChapterTrackUID", U, kChapterTrack, kRoot, NONE, VF::Plain, X},
    {0x80, "ChapterDisplay", M, kChapterAtom, kRoot, NONE, VF::Plain, W},
    {0x85, "ChapString", T, kChapterDisplay, kRoot, NONE, VF::Plain, W},
    {0x437C, "ChapLanguage", S, kChapterDisplay, kRoot, NONE, VF::Plain, W},
    {0x437D, "ChapLanguageBCP47", S, kChapterDisplay, kRoot, NONE, VF::Plain, X},
    {0x437E, "ChapCountry", S, kChapterDisplay, kRoot, NONE, VF::Plain, W},
    {0x6944, "ChapProcess", M, kChapterAtom, kRoot, NONE, VF::Plain, X},
    {0x6955, "ChapProcessCodecID", U, kChapProcess, kRoot, NAMES(kChapProcessCodecId), VF::Plain, X},
    {0x450D, "ChapProcessPrivate", B, kChapProcess, kRoot, NONE, VF::Plain, X},
    {0x6911, "ChapProcessCommand", M, kChapProcess, kRoot, NONE, VF::Plain, X},
    {0x6922, "ChapProcessTime", U, kChapProcessCommand, kRoot, NAMES(kChapProcessTime), VF::Plain, X},
    {0x6933, "ChapProcessData", B, kChapProcessCommand, kRoot, NONE, VF::Plain, X},
    // Tags
    {0x1254C367, "Tags", M, kSegment, kRoot, NONE, VF::Plain, W},
    {0x7373, "Tag", M, kTags, kRoot, NONE, VF::Plain, W},
    {0x63C0, "Targets", M, kTag, kRoot, NONE, VF::Plain, W},
    {0x68CA, "TargetTypeValue", U, kTargets, kRoot, NAMES(kTargetTypeValue), VF::Plain, W},
    {0x63CA, "TargetType", S, kTargets, kRoot, NONE, VF::Plain, W},
    {0x63C5, "TagTrackUID", U, kTargets, kRoot, NONE, VF::Plain, W},
    {0x63C9, "TagEditionUID", U, kTargets, kRoot, NONE, VF::Plain, X},
    {0x63C4, "TagChapterUID", U, kTargets, kRoot, NONE, VF::Plain, X},
    {0x63C6, "TagAttachmentUID", U, kTargets, kRoot, NONE, VF::Plain, X},
    {0x67C8, "SimpleTag", M, kTag, kSimpleTag, NONE, VF::Plain, W},
    {0x45A3, "TagName", T, kSimpleTag, kRoot, NONE, VF::Plain, W},
    {0x447A, "TagLanguage", S, kSimpleTag, kRoot, NONE, VF::Plain, W},
    {0x447B, "TagLanguageBCP47", S, kSimpleTag, kRoot, NONE, VF::Plain, X},
    {0x4484, "TagDefault", U, kSimpleTag, kRoot, NONE, VF::Plain, W},
    {0x44B4, "TagDefaultBogus", U, kSimpleTag, kRoot, NONE, VF::Plain, X},
    {0x4487, "TagString", T, kSimpleTag, kRoot, NONE, VF::Plain, W},
    {0x4485, "TagBinary", B, kSimpleTag, kRoot, NONE, VF::Plain, W},
    // Signatures of early Matroska files
    {0x1B538667, "SignatureSlot", M, kSegment, kCluster, NONE, VF::Plain, X},
    {0x7E8A, "SignatureAlgo", U, kSignatureSlot, kRoot, NAMES(kSignatureAlgo), VF::Plain, X},
    {0x7E9A, "SignatureHash", U, kSignatureSlot, kRoot, NAMES(kSignatureHash), VF::Plain, X},
    {0x7EA5, "SignaturePublicKey", B, kSignatureSlot, kRoot, NONE, VF::Plain, X},
    {0x7EB5, "Signature", B, kSignatureSlot, kRoot, NONE, VF::Plain, X},
    {0x7E5B, "SignatureElements", M, kSignatureSlot, kRoot, NONE, VF::Plain, X},
    {0x7E7B, "SignatureElementList", M, kSignatureElements, kRoot, NONE, VF::Plain, X},
    {0x6532, "SignedElement", B, kSignatureElementList, kRoot, NONE, VF::Plain, X},
};

#undef NAMES
#undef NONE

// The table's lines ordered by ID, built once.
const std::vector<const ElementType*>& byId() {
  static const std::vector<const ElementType*> sorted = [] {
    std::vector<const ElementType*> lines;
    for (const ElementType& line : kElements) lines.push_back(&line);
    std::sort(lines.begin(), lines.end(), [](const ElementType* a, const ElementType* b) { return a->id < b->id; });
    return lines;
  }();
  return sorted;
}

// Parent chains are short; the bound only guards against a table that loops.
constexpr int kMaxAncestry = 16;

}  // namespace

const ElementType* findElementType(uint32_t element_id) {
  const auto& lines = byId();
  const auto it = std::lower_bound(lines.begin(), lines.end(), element_id,
                                   [](const ElementType* line, uint32_t value) { return line->id < value; });
  return it != lines.end() && (*it)->id == element_id ? *it : nullptr;
}

const ElementType* elementTypesBegin() { return std::begin(kElements); }
const ElementType* elementTypesEnd() { return std::end(kElements); }

std::string valueName(const ElementType& type, uint64_t value) {
  for (uint8_t i = 0; i < type.value_count; ++i)
    if (type.values[i].value == value) return type.values[i].name;
  return {};
}

bool isGlobal(const ElementType& type) { return type.parent == kAnyParent; }

bool isChildOf(const ElementType& type, uint32_t parent_id) {
  if (isGlobal(type)) return parent_id != kRoot;
  return type.parent == parent_id || (type.other_parent != kRoot && type.other_parent == parent_id);
}

bool isDescendantOf(const ElementType& type, uint32_t ancestor_id) {
  if (isGlobal(type)) return ancestor_id != kRoot;
  const ElementType* line = &type;
  for (int depth = 0; line && depth < kMaxAncestry; ++depth) {
    if (isChildOf(*line, ancestor_id)) return true;
    if (line->parent == kRoot) return false;
    line = findElementType(line->parent);
  }
  return false;
}

bool isUpperLevel(uint32_t element_id) {
  if (element_id == id::kEbml || element_id == id::kSegment) return true;
  const ElementType* type = findElementType(element_id);
  return type && type->parent == id::kSegment;
}

}  // namespace corvanta::matroska
