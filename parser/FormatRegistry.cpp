#include "FormatModule.h"

#include "formats/ac3/Ac3.h"
#include "formats/ac4/Ac4.h"
#include "formats/adts/Adts.h"
#include "formats/amr/Amr.h"
#include "formats/dts/Dts.h"
#include "formats/flac/Flac.h"
#include "formats/flv/Flv.h"
#include "formats/isobmff/IsoBmff.h"
#include "formats/matroska/Matroska.h"
#include "formats/mpegaudio/MpegAudio.h"
#include "formats/mpegps/MpegPs.h"
#include "formats/mpegts/MpegTs.h"
#include "formats/ogg/Ogg.h"
#include "formats/rawvideo/RawVideo.h"
#include "formats/riff/Riff.h"

#include <QFileInfo>

namespace corvanta {

namespace {
const std::vector<FormatModule>* replaced_modules = nullptr;
}  // namespace

const std::vector<FormatModule>& formatModules() {
  // Adding a format means adding its module here, nothing else.
  static const std::vector<FormatModule> modules = {
      isoBmffModule(),
      matroskaModule(),
      mpegTsModule(),
      flvModule(),
      mpegPsModule(),
      aviModule(),
      waveModule(),
      webpModule(),
      aiffModule(),
      flacModule(),
      oggModule(),
      mpegAudioModule(),
      adtsModule(),
      ac3Module(),
      ac4Module(),
      dtsModule(),
      amrModule(),
      rawH264Module(),
      rawHevcModule(),
      rawAv1Module(),
      ivfModule(),
  };
  return replaced_modules ? *replaced_modules : modules;
}

const FormatModule* findModule(const QString& id) {
  for (const FormatModule& module : formatModules())
    if (module.id == id)
      return &module;
  return nullptr;
}

ScopedFormatModules::ScopedFormatModules(std::vector<FormatModule> modules)
    : replacement(std::move(modules)), previous(replaced_modules) {
  replaced_modules = &replacement;
}

ScopedFormatModules::~ScopedFormatModules() {
  replaced_modules = previous;
}

const FormatModule* chooseModuleFrom(const std::vector<FormatModule>& modules, const uint8_t* head,
                                     int64_t head_size, int64_t file_size, const QString& file_name) {
  const QString extension = QFileInfo(file_name).suffix().toLower();
  const FormatModule* best = nullptr;
  int best_confidence = 0;
  bool best_has_extension = false;
  for (const FormatModule& module : modules) {
    if (!module.probe || !module.parse)
      continue;
    const int confidence = module.probe(head, head_size, file_size);
    if (confidence <= 0)
      continue;
    const bool has_extension = !extension.isEmpty() && module.extensions.contains(extension, Qt::CaseInsensitive);
    const bool better = confidence > best_confidence ||
                        (confidence == best_confidence && has_extension && !best_has_extension);
    if (better) {
      best = &module;
      best_confidence = confidence;
      best_has_extension = has_extension;
    }
  }
  return best;
}

const FormatModule* chooseModule(const uint8_t* head, int64_t head_size, int64_t file_size,
                                 const QString& file_name) {
  return chooseModuleFrom(formatModules(), head, head_size, file_size, file_name);
}

}  // namespace corvanta
