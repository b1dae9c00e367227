#include "MappedFile.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanta {

namespace {

int64_t modifiedNanoseconds(const struct stat& info) {
  return int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

QString systemError(int error_number) {
  return QString::fromLocal8Bit(std::strerror(error_number));
}

// The mappings that the SIGBUS handler may repair. A fixed table of atomics, because the
// handler can run at any moment on any thread and must not lock or allocate.
struct GuardedRange {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> changed{false};
};
constexpr int kGuardSlots = 64;
GuardedRange guarded_ranges[kGuardSlots];
std::mutex slot_mutex;  // serialises claiming and releasing slots, never taken by the handler
struct sigaction previous_sigbus {};

// Hands the signal to whoever had it before, or lets it kill the process as it would have.
void forwardSigbus(int signal_number, siginfo_t* info, void* context) {
  if (previous_sigbus.sa_flags & SA_SIGINFO) {
    if (previous_sigbus.sa_sigaction) return previous_sigbus.sa_sigaction(signal_number, info, context);
  } else if (previous_sigbus.sa_handler != SIG_DFL && previous_sigbus.sa_handler != SIG_IGN) {
    return previous_sigbus.sa_handler(signal_number);
  }
  std::signal(SIGBUS, SIG_DFL);  // the faulting read runs again and ends the process
}

// A read past the end of a truncated mapped file: put zero pages over the rest of the
// mapping (one call, however much was cut) and let the read run again.
void onSigbus(int signal_number, siginfo_t* info, void* context) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedRange& range : guarded_ranges) {
    const uintptr_t begin = range.begin.load(std::memory_order_acquire);
    const uintptr_t end = range.end.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address >= end) continue;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t from = address & ~(page - 1);
    const int saved_errno = errno;
    void* zeros = mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    errno = saved_errno;
    if (zeros == MAP_FAILED) break;
    range.changed.store(true, std::memory_order_release);
    return;
  }
  forwardSigbus(signal_number, info, context);
}

void installSigbusHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_sigaction = onSigbus;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previous_sigbus);
  });
}

int claimSlot(const uint8_t* bytes, int64_t length) {
  installSigbusHandler();
  std::lock_guard<std::mutex> lock(slot_mutex);
  for (int i = 0; i < kGuardSlots; ++i) {
    GuardedRange& range = guarded_ranges[i];
    if (range.begin.load() != 0) continue;
    range.changed.store(false);
    range.end.store(reinterpret_cast<uintptr_t>(bytes) + uintptr_t(length));
    range.begin.store(reinterpret_cast<uintptr_t>(bytes), std::memory_order_release);
    return i;
  }
  return -1;  // more open files than slots: that one stays unguarded
}

void releaseSlot(int slot) {
  if (slot < 0) return;
  std::lock_guard<std::mutex> lock(slot_mutex);
  guarded_ranges[slot].begin.store(0, std::memory_order_release);
  guarded_ranges[slot].end.store(0);
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
  if (address == MAP_FAILED) {
    ::close(fd);
    error_string = QStringLiteral("cannot map file: %1").arg(systemError(map_error));
    return false;
  }
  descriptor = fd;
  opened_size = info.st_size;
  opened_modified_ns = modifiedNanoseconds(info);
  ::madvise(address, static_cast<size_t>(info.st_size), MADV_SEQUENTIAL);
  bytes = static_cast<const uint8_t*>(address);
  length = info.st_size;
  guard_slot = claimSlot(bytes, length);
  return true;
}

bool MappedFile::changed() const {
  return guard_slot >= 0 && guarded_ranges[guard_slot].changed.load(std::memory_order_acquire);
}

bool MappedFile::writtenSinceOpened() const {
  if (descriptor < 0) return false;
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) return true;
  return info.st_size != opened_size || modifiedNanoseconds(info) != opened_modified_ns;
}

void MappedFile::close() {
  releaseSlot(guard_slot);
  guard_slot = -1;
  if (descriptor >= 0) ::close(descriptor);
  descriptor = -1;
  if (bytes)
    ::munmap(const_cast<uint8_t*>(bytes), static_cast<size_t>(length));
  bytes = nullptr;
  length = 0;
}

}  // namespace corvanta
