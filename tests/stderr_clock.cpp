// Preloaded into the program by the timing test: notes CLOCK_MONOTONIC right after the
// program's first write to standard error has returned (the moment the window's text has
// appeared) in the file named by STDERR_CLOCK_FILE.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);

WriteFunction RealWrite() {
  static WriteFunction real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
  return real;
}

bool noted = false;

void Note() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const char* file = std::getenv("STDERR_CLOCK_FILE");
  if (!file) return;
  int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  char text[64];
  int length = std::snprintf(text, sizeof(text), "%lld\n",
                             static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
  RealWrite()(fd, text, static_cast<size_t>(length));
  close(fd);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ssize_t write(int fd, const void* data,
                                                                size_t size) {
  const ssize_t written = RealWrite()(fd, data, size);
  if (fd == STDERR_FILENO && written > 0 && !noted) {
    noted = true;
    Note();
  }
  return written;
}
