#include "cli/fd_stream.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace varnel {

FdStreamBuf::int_type FdStreamBuf::underflow() {
    if (m_error)
        return traits_type::eof();
    for (;;) {
        const ssize_t got = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (got > 0) {
            setg(m_buffer.data(), m_buffer.data(), m_buffer.data() + got);
            return traits_type::to_int_type(m_buffer[0]);
        }
        if (got == 0)
            return traits_type::eof();
        if (errno != EINTR) {
            m_error = errno;
            return traits_type::eof();
        }
    }
}

bool FdStreamBuf::writeOut() {
    const char *data = pbase();
    std::size_t left = static_cast<std::size_t>(pptr() - pbase());
    while (left > 0 && !m_error) {
        const ssize_t put = ::write(m_fd, data, left);
        if (put >= 0) {
            data += put;
            left -= static_cast<std::size_t>(put);
        } else if (errno != EINTR) {
            m_error = errno;
        }
    }
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return !m_error;
}

FdStreamBuf::int_type FdStreamBuf::overflow(int_type c) {
    if (!m_writing) {
        m_writing = true;
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    } else if (!writeOut()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

int FdStreamBuf::sync() {
    if (m_writing && pptr() != pbase() && !writeOut())
        return -1;
    return m_error ? -1 : 0;
}

std::string streamFailure(const std::ios &stream, bool reading) {
    if (const auto *fd = dynamic_cast<const FdStreamBuf *>(stream.rdbuf()); fd && fd->error())
        return std::strerror(fd->error());
    const bool failed = reading ? stream.bad() : stream.fail();
    return failed ? "I/O error" : "";
}

} // namespace varnel
