#include "transfer_run.h"

#include <algorithm>

#include "platform/win32/unique_handle.h"

namespace ombrix::test {

Bytes ReadFileBytes(const std::wstring& path) {
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        return {};
    }
    Bytes bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

bool Contains(const std::vector<TransferState>& states, TransferState state) {
    return std::find(states.begin(), states.end(), state) != states.end();
}

Body ReadBody(Transfer& transfer) {
    Body body;
    const DWORD start = GetTickCount();
    for (;;) {
        const Bytes chunk = transfer.getChunk(1024);
        if (chunk.empty()) {
            break;
        }
        if (body.bytes.empty()) {
            body.firstChunkMs = GetTickCount() - start;
        }
        body.largestChunk = std::max(body.largestChunk, chunk.size());
        body.bytes.insert(body.bytes.end(), chunk.begin(), chunk.end());
    }
    body.totalMs = GetTickCount() - start;
    return body;
}

Run::Run(const std::wstring& url, const std::wstring& operation) {
    transfer = std::make_unique<WinInetTransfer>(log, [this] {
        ++pumps;
        if (onPump) {
            onPump();
        }
        PumpAll();
    });
    const DWORD start = GetTickCount();
    transfer->execute(url, operation, L"");
    executeMs = GetTickCount() - start;
}

}  // namespace ombrix::test
