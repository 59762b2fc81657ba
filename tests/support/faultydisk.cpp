#include "support/faultydisk.h"

#include <cerrno>

namespace testsupport
{

namespace
{

int failWith(int code)
{
    errno = code;
    return -1;
}

} // namespace

FaultyDisk::FaultyDisk(Fault fault) : m_state(std::make_shared<State>())
{
    set(fault);
}

void FaultyDisk::set(Fault fault)
{
    *m_state = State{fault};
}

fonttable::FileCalls FaultyDisk::calls() const
{
    fonttable::FileCalls calls;
    const std::shared_ptr<State> state = m_state;
    calls.pread = [state](int fd, void *buffer, size_t count, off_t offset) -> ssize_t {
        const int call = state->reads++;
        switch (state->fault) {
        case Fault::ReadError:
        case Fault::ReadBackFails:
            return failWith(EIO);
        case Fault::ReadStopsEarly:
            return call == 0 ? ::pread(fd, buffer, count / 2, offset) : 0;
        case Fault::ReadBackDiffers: {
            const ssize_t n = ::pread(fd, buffer, count, offset);
            if (n > 100)
                static_cast<quint8 *>(buffer)[100] ^= 1;
            return n;
        }
        default:
            return ::pread(fd, buffer, count, offset);
        }
    };
    calls.pwrite = [state](int fd, const void *buffer, size_t count, off_t offset) -> ssize_t {
        const int call = state->writes++;
        switch (state->fault) {
        case Fault::WriteError:
            return failWith(EIO);
        case Fault::WriteStopsEarly:
            return call == 0 ? ::pwrite(fd, buffer, count / 2, offset) : 0;
        case Fault::NoSpaceAfterPartialWrite:
            return call == 0 ? ::pwrite(fd, buffer, std::min<size_t>(count, 100), offset)
                             : failWith(ENOSPC);
        case Fault::WriteInterrupted:
            return call == 0 ? failWith(EINTR) : ::pwrite(fd, buffer, count, offset);
        default:
            return ::pwrite(fd, buffer, count, offset);
        }
    };
    calls.fdatasync = [state](int fd) {
        return state->fault == Fault::FlushFails ? failWith(EIO) : ::fdatasync(fd);
    };
    calls.close = [state](int fd) {
        const int closed = ::close(fd);
        return state->fault == Fault::CloseFails ? failWith(EIO) : closed;
    };
    return calls;
}

} // namespace testsupport
