#pragma once
// The transfer component on WinINet: a worker thread does all network I/O and streams the body
// through a small bounded ring; the user-interface thread learns of the states through posted
// window messages and takes the body out of the ring in chunks.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/transfer.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {

struct WinInetShared;

class WinInetTransfer : public Transfer {
  public:
    // Every state change is posted as (window, message, state, 0). `pumpEvents` handles the
    // waiting window events once; getChunk calls it while it waits for data.
    WinInetTransfer(HWND window, UINT message, std::function<void()> pumpEvents);
    // Cancels and waits a little for the worker. A worker stuck in a network call that a
    // closed handle does not interrupt (Wine) finishes on its own: it shares the state.
    ~WinInetTransfer() override;
    WinInetTransfer(const WinInetTransfer&) = delete;
    WinInetTransfer& operator=(const WinInetTransfer&) = delete;

    // One GET per component; only the operation "get" is known. Returns at once.
    void execute(const std::wstring& url, const std::wstring& operation) override;
    std::wstring header(const std::wstring& name) override;
    int httpStatus() override;
    std::vector<std::uint8_t> getChunk(std::size_t maxBytes) override;
    // The body ended cleanly and, when a length was announced, reached it.
    bool bodyEnded() override;
    // The body broke off: a read failed, or it ended short of the announced length.
    bool failed() override;
    void cancel() override;
    bool certificateRejected() override;

  private:
    std::shared_ptr<WinInetShared> shared_;
    std::function<void()> pumpEvents_;
    unique_handle worker_;
};

// The value of the first header `name` (letter case ignored) in raw CRLF-separated response
// headers whose first line is the status line; "" when there is none.
std::wstring FindResponseHeader(const std::wstring& rawHeaders, const std::wstring& name);

}  // namespace ombrix
