#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

// Timing tables of the agreed schema written into a test's database, for the Streams
// window's tests until (and after) the parser writes them itself.
namespace timing_fixture {

// Creates the three tables where missing and empties them.
bool createTables(QSqlDatabase& database);
// Drops them, as in a database written by an older tool.
bool dropTables(QSqlDatabase& database);

// A small file's worth: stream 1 video (H.264, 25 frames a second, an I frame every 12
// frames, frame 24 twelve times the usual size, frame 30's DTS one frame back), stream 2
// audio (AAC), stream 3 the PCR (one interval of 150 ms), and one container fault.
constexpr int kVideoFrames = 60;
constexpr int kAudioFrames = 90;
constexpr int kPcrs = 40;
constexpr qint64 kVideoElement = 100;  // element of video frame i: 100 + i
constexpr qint64 kAudioElement = 300;
constexpr qint64 kPcrElement = 500;
constexpr int kBigFrame = 24;
constexpr int kBackwardsFrame = 30;
constexpr qint64 kContinuityElement = 777;
bool writeSmallFile(QSqlDatabase& database);

// The samples of a committed MP4 file as its golden dump lists them ("sample-N OFFSET
// +SIZE = track T, dts D, ... [kind, S s]"), element N being line N. Returns the number
// of frames written, 0 on failure.
int writeFromGolden(QSqlDatabase& database, const QString& golden_path);

}  // namespace timing_fixture
