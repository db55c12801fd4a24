#pragma once
// Whether a label's new caption is drawn at once or at the next paint. At once is the rule,
// since the caller may not pump for a while (a copy); but whoever sets a caption while a newer
// one is already on its way says so, and a burst of captions then costs one drawing instead of
// one each (about 1.3 ms each under Wine). Windows belong to the user-interface thread, and so
// does this flag.

namespace ombrix {

inline bool& CaptionReplacedSoonFlag() {
    static bool replacedSoon = false;
    return replacedSoon;
}

// For one scope (nested ones restore the outer one's word).
class CaptionReplacedSoon {
  public:
    explicit CaptionReplacedSoon(bool replacedSoon) : saved_(CaptionReplacedSoonFlag()) {
        CaptionReplacedSoonFlag() = replacedSoon;
    }
    ~CaptionReplacedSoon() { CaptionReplacedSoonFlag() = saved_; }
    CaptionReplacedSoon(const CaptionReplacedSoon&) = delete;
    CaptionReplacedSoon& operator=(const CaptionReplacedSoon&) = delete;

  private:
    bool saved_;
};

}  // namespace ombrix
