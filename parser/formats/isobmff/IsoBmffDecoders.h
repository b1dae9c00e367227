#pragma once

#include "formats/isobmff/IsoBmffBoxTable.h"

#include <string>

// Payload decoders of the box table, one per box type (or family). Each reads the fields
// after the header (and after version and flags for full boxes) through scope.f.
namespace corvanta::isobmff::decode {

// Movie structure (IsoBmffDecodersMovie.cpp)
void ftyp(BoxScope& b);
void mvhd(BoxScope& b);
void tkhd(BoxScope& b);
void mdhd(BoxScope& b);
void hdlr(BoxScope& b);
void vmhd(BoxScope& b);
void smhd(BoxScope& b);
void hmhd(BoxScope& b);
void gmin(BoxScope& b);
void entryCount(BoxScope& b);
void url(BoxScope& b);
void urn(BoxScope& b);
void trackReference(BoxScope& b);
void cprt(BoxScope& b);
void quickTimeText(BoxScope& b);
void opaque(BoxScope& b);
void mehd(BoxScope& b);
void trex(BoxScope& b);
void mfhd(BoxScope& b);
void tfhd(BoxScope& b);
void tfdt(BoxScope& b);
void sidx(BoxScope& b);
void emsg(BoxScope& b);
void tfra(BoxScope& b);
void mfro(BoxScope& b);
void pssh(BoxScope& b);
void frma(BoxScope& b);
void schm(BoxScope& b);

// Sample tables and track runs (IsoBmffDecodersTables.cpp)
void elst(BoxScope& b);
void stts(BoxScope& b);
void ctts(BoxScope& b);
void stss(BoxScope& b);
void stsc(BoxScope& b);
void stsz(BoxScope& b);
void stz2(BoxScope& b);
void stco(BoxScope& b);
void co64(BoxScope& b);
void sdtp(BoxScope& b);
void sbgp(BoxScope& b);
void sgpd(BoxScope& b);
void trun(BoxScope& b);

// Sample entries and codec configurations (IsoBmffDecodersCodec.cpp)
void sampleEntry(BoxScope& b);
void pasp(BoxScope& b);
void colr(BoxScope& b);
void btrt(BoxScope& b);
void clap(BoxScope& b);
void fiel(BoxScope& b);

// A codec configuration box: its payload goes to the container-free decoder of codecs/.
template <std::string (*Decode)(FieldReader&)>
void codecConfiguration(BoxScope& b) {
  b.summary = Decode(b.f);
}

// Metadata and image items (IsoBmffDecodersItems.cpp)
void data(BoxScope& b);
void ilstItem(BoxScope& b);
void keys(BoxScope& b);
void text(BoxScope& b);
void pitm(BoxScope& b);
void iinf(BoxScope& b);
void infe(BoxScope& b);
void iloc(BoxScope& b);
void itemReference(BoxScope& b);
void ipma(BoxScope& b);
void ispe(BoxScope& b);
void pixi(BoxScope& b);
void irot(BoxScope& b);
void auxC(BoxScope& b);

}  // namespace corvanta::isobmff::decode
