#include "codecs/Id3v1Tag.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"

#include <cstring>

namespace corvanta::codecs {

namespace {

const char* const kGenres[] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel",
    "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock",
    "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // Extensions beyond the first 80.
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebop", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music",
    "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo",
    "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore Techno", "Terror",
    "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal",
    "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop",
    "Synthpop", "Abstract", "Art Rock", "Baroque", "Bhangra", "Big Beat", "Breakbeat", "Chillout", "Downtempo",
    "Dub", "EBM", "Eclectic", "Electro", "Electroclash", "Emo", "Experimental", "Garage", "Global", "IDM",
    "Illbient", "Industro-Goth", "Jam Band", "Krautrock", "Leftfield", "Lounge", "Math Rock", "New Romantic",
    "Nu-Breakz", "Post-Punk", "Post-Rock", "Psytrance", "Shoegaze", "Space Rock", "Trop Rock", "World Music",
    "Neoclassical", "Audiobook", "Audio Theatre", "Neue Deutsche Welle", "Podcast", "Indie Rock", "G-Funk",
    "Dubstep", "Garage Rock", "Psybient",
};

}  // namespace

bool isId3v1Tag(const uint8_t* data, int64_t begin, int64_t end) {
  return end - begin >= kId3v1Bytes && std::memcmp(data + end - kId3v1Bytes, "TAG", 3) == 0;
}

std::string id3v1GenreName(uint64_t genre) {
  constexpr uint64_t kCount = sizeof kGenres / sizeof kGenres[0];
  return genre < kCount ? std::string(kGenres[genre]) : std::string();
}

std::string writeId3v1Tag(ElementWriter& writer, const uint8_t* data, int64_t begin) {
  const bool has_track = data[begin + 125] == 0 && data[begin + 126] != 0;
  writer.openUnit("ID3v1", begin * 8, kId3v1Bytes * 8);
  FieldReader f(writer, data, begin, begin + kId3v1Bytes);
  f.fixedString("identifier", 3, TextEncoding::Latin1);
  const std::string title = f.fixedString("title", 30, TextEncoding::Latin1);
  const std::string artist = f.fixedString("artist", 30, TextEncoding::Latin1);
  f.fixedString("album", 30, TextEncoding::Latin1);
  f.fixedString("year", 4, TextEncoding::Latin1);
  if (has_track) {
    f.fixedString("comment", 28, TextEncoding::Latin1);
    f.u("zero_byte", 8, "ID3v1.1: a track number follows");
    f.u("track", 8);
  } else {
    f.fixedString("comment", 30, TextEncoding::Latin1);
  }
  f.uh("genre", 8, [](uint64_t v) { return v == 255 ? std::string("none") : id3v1GenreName(v); });
  const std::string summary = std::string(has_track ? "ID3v1.1" : "ID3v1") + (artist.empty() ? "" : ", " + artist) +
                              (title.empty() ? "" : ", " + title);
  writer.setUnitValue(summary);
  writer.closeUnit();
  return summary;
}

}  // namespace corvanta::codecs
