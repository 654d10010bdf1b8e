// mapped_file.cc - whole files mapped read-only, and reads from them that survive the file shrinking.
#include "platform/files/mapped_file.h"

#include <setjmp.h>
#include <signal.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace platform {

namespace {

// The range a thread is reading in read_mapped, and where to go back to when a page of it is gone.
struct Guard {
  const uint8_t *begin;
  const uint8_t *end;
  sigjmp_buf resume;
};

// Initial-exec, so that the handler reaches it without an allocation even in a thread that never
// set it, when this code is in a library loaded late.
[[gnu::tls_model("initial-exec")]] thread_local Guard *active_guard = nullptr;
struct sigaction replaced_action;

// A bus error that is not ours goes where it went before this handler was installed.
void pass_on(int signal, siginfo_t *info, void *context) {
  if ((replaced_action.sa_flags & SA_SIGINFO) != 0) {
    replaced_action.sa_sigaction(signal, info, context);
  } else if (replaced_action.sa_handler != SIG_DFL && replaced_action.sa_handler != SIG_IGN) {
    replaced_action.sa_handler(signal);
  } else {
    // The kernel does not let a fault's signal be ignored either. The handler runs with the
    // signal unblocked (SA_NODEFER), so it is delivered at once and ends the process.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(SIGBUS, &default_action, nullptr);
    raise(SIGBUS);
  }
}

void on_bus_error(int signal, siginfo_t *info, void *context) {
  Guard *guard = active_guard;
  const auto *address = static_cast<const uint8_t *>(info->si_addr);
  if (guard != nullptr && info->si_code == BUS_ADRERR && address >= guard->begin && address < guard->end) {
    active_guard = nullptr;
    siglongjmp(guard->resume, 1);
  }
  pass_on(signal, info, context);
}

// Installed once for the process, by the first mapping.
bool install_handler() {
  struct sigaction action {};
  action.sa_sigaction = on_bus_error;
  action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, &replaced_action) == 0;
}

}  // namespace

const uint8_t *map_file(int fd, uint64_t min_nbytes, uint64_t *nbytes) {
  static const bool handler_installed = install_handler();
  if (!handler_installed) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return nullptr;
  const auto size = static_cast<uint64_t>(info.st_size);
  if (size < min_nbytes || size > SIZE_MAX) return nullptr;
  void *bytes = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (bytes == MAP_FAILED) return nullptr;
  // Read front to back: the kernel then reads further ahead.
  madvise(bytes, size, MADV_SEQUENTIAL);
  *nbytes = size;
  return static_cast<const uint8_t *>(bytes);
}

void unmap_file(const uint8_t *bytes, uint64_t nbytes) {
  if (bytes != nullptr) munmap(const_cast<uint8_t *>(bytes), nbytes);
}

bool read_mapped(const void *bytes, uint64_t nbytes, void (*read)(void *context), void *context) {
  Guard guard;
  guard.begin = static_cast<const uint8_t *>(bytes);
  guard.end = guard.begin + nbytes;
  if (sigsetjmp(guard.resume, 0) != 0) return false;
  active_guard = &guard;
  read(context);
  active_guard = nullptr;
  return true;
}

}  // namespace platform
