// Bytes placed so that the last one sits right before an unreadable page: a
// read past the end faults at once instead of passing silently.
#pragma once

#include <stddef.h>

class GuardedBuffer {
  public:
    GuardedBuffer(const void *bytes, size_t size);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    const char *data() const {
        return data_;
    }

  private:
    char *region_;
    size_t regionSize_;
    const char *data_;
};
