#pragma once
// One open COM port with Windows semantics over a SerialBackend. Every operation returns a
// Win32 error code (ERROR_SUCCESS on success); operations are serialised as on a
// synchronous Windows file handle.
#include <memory>
#include <mutex>

#include "handle_table.h"
#include "receive_queue.h"
#include "serial/comm.h"
#include "serial_backend.h"

namespace serial {

class CommPort final : public HandleObject {
public:
    // Takes the opened device over: reads its line settings and raises DTR and RTS as a
    // freshly opened Windows port does.
    static DWORD Open(std::unique_ptr<SerialBackend> backend, std::shared_ptr<CommPort>& port);
    ~CommPort() override;

    void Close() override;

    DWORD GetState(DCB& dcb);
    DWORD SetState(const DCB& dcb);
    DWORD GetTimeouts(COMMTIMEOUTS& timeouts);
    DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
    DWORD Read(BYTE* buffer, DWORD count, DWORD& read);
    DWORD Write(const BYTE* buffer, DWORD count, DWORD& written);
    DWORD Flush();
    DWORD Purge(DWORD flags);
    DWORD Setup(DWORD inQueue, DWORD outQueue);
    DWORD SetMask(DWORD mask);
    DWORD ClearError(DWORD* errors, COMSTAT* stat);
    DWORD Escape(DWORD function);
    DWORD SetInsertion(BYTE escape);

private:
    explicit CommPort(std::unique_ptr<SerialBackend> backend);
    // Moves what the device has received into the queue.
    DWORD Pull();
    DWORD SetDtrLocked(bool on);
    DWORD SetRtsLocked(bool on);

    std::mutex m_mutex;
    std::unique_ptr<SerialBackend> m_backend;  // nullptr once closed
    DCB m_dcb{};
    COMMTIMEOUTS m_timeouts{};
    ReceiveQueue m_queue;
    DWORD m_mask = 0;
    bool m_dtr = false;
    bool m_rts = false;
    std::int64_t m_lastArrivalNs = 0;
};

}  // namespace serial
