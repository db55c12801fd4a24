#pragma once
// A transfer that answers as a test sets it: status, headers, a body, the answers to requests
// of other URLs (the signed statement, say), and the answers to resumes.
#include <algorithm>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/transfer.h"

namespace ombrix::fakes {

class FakeTransfer : public Transfer {
  public:
    explicit FakeTransfer(Log& log) : log_(log) {}
    // One request's answer. The program's is the fields below, which always hold the answer
    // being read; a request of a URL in `byUrl` is answered from there (and the program's answer
    // comes back with the next request of another URL); each resume takes the next of
    // `resumes`, and gets no answer when none is left.
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
    std::map<std::wstring, Answer> byUrl;
    std::deque<Answer> resumes;
    int executes = 0;                         // requests started with states
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
        ++executes;
        const auto other = byUrl.find(url);
        if (other != byUrl.end()) {
            if (!program_) {
                program_ = Answer{answers, status, headers, body, breaksOff};
            }
            serve(other->second);
        } else if (program_) {
            serve(*program_);
            program_.reset();
        }
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
        serve(next);
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
    void serve(const Answer& next) {
        answers = next.answers;
        status = next.answers ? next.status : 0;
        headers = next.headers;
        body = next.body;
        breaksOff = next.breaksOff || !next.answers;
        delivered = 0;
    }

    Log& log_;
    std::optional<Answer> program_;  // set aside while another URL's answer is read
};

}  // namespace ombrix::fakes
