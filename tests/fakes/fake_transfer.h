#pragma once
// A transfer that answers as a test sets it: status, headers, a body, and the answers to
// resumes.
#include <algorithm>
#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/transfer.h"

namespace ombrix::fakes {

class FakeTransfer : public Transfer {
  public:
    explicit FakeTransfer(Log& log) : log_(log) {}
    // One request's answer. The first request's is the fields below; each resume takes the
    // next of `resumes`, and gets no answer when none is left.
    struct Answer {
        bool answers = true;
        int status = 206;
        std::map<std::wstring, std::wstring> headers;
        Bytes body;
        bool breaksOff = false;
    };
    int status = 200;
    std::map<std::wstring, std::wstring> headers;
    Bytes body;
    bool breaksOff = false;  // the body stops early with an error instead of ending cleanly
    bool answers = true;
    std::deque<Answer> resumes;
    std::vector<std::wstring> resumeHeaders;  // what each resume asked with
    std::size_t delivered = 0;
    bool cancelled = false;
    int reads = 0;
    std::vector<std::wstring> requests;

    std::wstring executeHeaders;  // what the first request asked with
    void execute(const std::wstring& url, const std::wstring& operation,
                 const std::wstring& requestHeaders) override {
        log_.push_back(L"execute " + url + L" " + operation);
        requests.push_back(url);
        executeHeaders = requestHeaders;
    }
    void resume(const std::wstring& url, const std::wstring& requestHeaders) override {
        log_.push_back(L"resume " + url);
        requests.push_back(url);
        resumeHeaders.push_back(requestHeaders);
        Answer next;
        next.answers = false;
        if (!resumes.empty()) {
            next = std::move(resumes.front());
            resumes.pop_front();
        }
        answers = next.answers;
        status = next.answers ? next.status : 0;
        headers = std::move(next.headers);
        body = std::move(next.body);
        breaksOff = next.breaksOff || !next.answers;
        delivered = 0;
    }
    bool awaitResponse() override { return answers && !cancelled; }
    std::wstring header(const std::wstring& name) override {
        const auto h = headers.find(name);
        return h == headers.end() ? L"" : h->second;
    }
    int httpStatus() override { return status; }
    Bytes getChunk(std::size_t maxBytes) override {
        ++reads;
        if (cancelled) {
            return {};
        }
        const std::size_t n = std::min(maxBytes, body.size() - delivered);
        Bytes chunk(body.begin() + static_cast<std::ptrdiff_t>(delivered),
                    body.begin() + static_cast<std::ptrdiff_t>(delivered + n));
        delivered += n;
        return chunk;
    }
    bool bodyEnded() override { return delivered == body.size() && !breaksOff && !cancelled; }
    bool failed() override { return delivered == body.size() && breaksOff; }
    bool certificateRejected() override { return certRejected; }
    bool certRejected = false;
    void cancel() override {
        if (!cancelled) {
            log_.push_back(L"cancel transfer");
        }
        cancelled = true;
    }

  private:
    Log& log_;
};

}  // namespace ombrix::fakes
