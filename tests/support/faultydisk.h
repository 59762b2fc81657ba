#pragma once

#include "fonttable/resourcefile.h"

#include <QMetaType>

#include <memory>

namespace testsupport
{

enum class Fault {
    None,
    ReadError,
    ReadStopsEarly, // half the block, then nothing more
    WriteError,
    WriteStopsEarly,          // half the block, then nothing more
    NoSpaceAfterPartialWrite, // 100 bytes, then the disk is full
    WriteInterrupted,         // once, then fine
    FlushFails,
    ReadBackFails,
    ReadBackDiffers, // one byte comes back flipped
    CloseFails,
};

// File calls that fail the way a disk can while a fault is set, and go to the real file
// otherwise. Every copy of the calls follows the fault set last, so a window built with them
// sees the disk mended.
class FaultyDisk
{
public:
    explicit FaultyDisk(Fault fault = Fault::None);

    void set(Fault fault);
    fonttable::FileCalls calls() const;

private:
    struct State {
        Fault fault = Fault::None;
        int reads = 0;
        int writes = 0;
    };
    std::shared_ptr<State> m_state;
};

} // namespace testsupport

Q_DECLARE_METATYPE(testsupport::Fault)
