#pragma once
// The transfer component on WinINet: a worker thread per request does all network I/O and
// streams the body through a small bounded ring; the user-interface thread learns of the states
// through its TransferEvents and takes the body out of the ring in chunks. A watch thread
// per request fails it after 60 s without a byte while the ring has room.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/transfer.h"
#include "platform/win32/transfer_states_win32.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {

struct WinInetShared;

class WinInetTransfer : public Transfer {
  public:
    // Made on the user-interface thread: every state change of a request that `execute` started
    // reaches `events` there. `pumpEvents` handles the waiting window events once; getChunk and
    // awaitResponse call it while they wait.
    WinInetTransfer(TransferEvents& events, std::function<void()> pumpEvents);
    // Cancels (which waits a little for the threads). A thread still stuck in a network call
    // finishes on its own: it shares the state.
    ~WinInetTransfer() override;
    WinInetTransfer(const WinInetTransfer&) = delete;
    WinInetTransfer& operator=(const WinInetTransfer&) = delete;

    // Only the operation "get" is known. Returns at once; a request still under way is stopped.
    void execute(const std::wstring& url, const std::wstring& operation,
                 const std::wstring& requestHeaders) override;
    void resume(const std::wstring& url, const std::wstring& requestHeaders) override;
    bool awaitResponse() override;
    std::wstring header(const std::wstring& name) override;
    int httpStatus() override;
    std::vector<std::uint8_t> getChunk(std::size_t maxBytes) override;
    void getChunkInto(std::size_t maxBytes, std::vector<std::uint8_t>& chunk) override;
    // The body ended cleanly and, when a length was announced, reached it.
    bool bodyEnded() override;
    // The body broke off: a read failed, it ended short of the announced length, or no byte
    // came for 60 s.
    bool failed() override;
    // Stops the request and waits up to 2 s for this run's workers and watches to end, so that
    // a process that ends next does not end them in the middle of a WinINet call.
    void cancel() override;
    bool certificateRejected() override;

  private:
    void start(std::shared_ptr<WinInetShared> attempt);

    TransferStateWindow states_;
    std::shared_ptr<WinInetShared> shared_;                // the latest request
    std::vector<std::shared_ptr<WinInetShared>> retired_;  // the earlier ones of this run
    std::function<void()> pumpEvents_;
    std::vector<unique_handle> threads_;  // every worker and watch of this run
    bool started_ = false;
    bool cancelled_ = false;
};

}  // namespace ombrix
