#include "MappedFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanta {

namespace {
QString systemError(int error_number) {
  return QString::fromLocal8Bit(std::strerror(error_number));
}
}  // namespace

MappedFile::~MappedFile() {
  close();
}

bool MappedFile::open(const QString& file_name) {
  close();
  error_string.clear();
  const QByteArray path = QFile::encodeName(file_name);
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error_string = QStringLiteral("cannot open file: %1").arg(systemError(errno));
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error_string = QStringLiteral("cannot open file: %1").arg(systemError(errno));
    ::close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error_string = S_ISDIR(info.st_mode) ? QStringLiteral("cannot open file: it is a folder")
                                         : QStringLiteral("cannot open file: not a regular file");
    ::close(fd);
    return false;
  }
  if (info.st_size == 0) {
    ::close(fd);
    return true;
  }
  void* address = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  const int map_error = errno;
  // The mapping keeps the file alive; the descriptor is not needed any more.
  ::close(fd);
  if (address == MAP_FAILED) {
    error_string = QStringLiteral("cannot map file: %1").arg(systemError(map_error));
    return false;
  }
  ::madvise(address, static_cast<size_t>(info.st_size), MADV_SEQUENTIAL);
  bytes = static_cast<const uint8_t*>(address);
  length = info.st_size;
  return true;
}

void MappedFile::close() {
  if (bytes)
    ::munmap(const_cast<uint8_t*>(bytes), static_cast<size_t>(length));
  bytes = nullptr;
  length = 0;
}

}  // namespace corvanta
