#pragma once

#include <array>
#include <ios>
#include <streambuf>
#include <string>

namespace varnel {

// A stream buffer reading from or writing to a file descriptor that keeps
// the cause (errno) of its first failed read or write, so that a failure can
// be reported by name rather than taken for the end of the input or ignored.
class FdStreamBuf : public std::streambuf {
  public:
    explicit FdStreamBuf(int fd) : m_fd(fd) {}
    ~FdStreamBuf() override { sync(); }
    FdStreamBuf(const FdStreamBuf &) = delete;
    FdStreamBuf &operator=(const FdStreamBuf &) = delete;

    // errno of the first failure, 0 while none.
    int error() const { return m_error; }

  protected:
    int_type underflow() override;
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    bool writeOut();

    int m_fd;
    int m_error = 0;
    std::array<char, 1 << 16> m_buffer;
    bool m_writing = false;
};

// Why `stream` failed: its FdStreamBuf's error as text ("No space left on
// device"), or a generic "I/O error" for other buffers; empty when the stream
// has not failed. `reading` tells whether the end of input is normal.
std::string streamFailure(const std::ios &stream, bool reading);

} // namespace varnel
