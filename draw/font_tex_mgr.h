#pragma once
// CFontTexMgr: the renderer's font manager. One per renderer, owned by it. It creates fonts
// by key, owns the glyph pages, loads at most one pending glyph per font each frame and
// gives every page up before a display-mode change.
//
// What exists so far: construction, destruction and the two hooks the renderer calls; the
// fonts and pages come behind the same operations. Host thread only.
class CLumiscriber;

class CFontTexMgr {
public:
    explicit CFontTexMgr(CLumiscriber* renderer);
    ~CFontTexMgr();
    CFontTexMgr(const CFontTexMgr&) = delete;
    CFontTexMgr& operator=(const CFontTexMgr&) = delete;

    // Each frame (from the renderer's OnFrameBegin): one pending glyph per font.
    void LoadPendingWords();
    // Before the device is re-created for a new display mode: every page is released.
    void ReleasePages();

    CLumiscriber* GetRenderer() const { return renderer_; }

private:
    CLumiscriber* renderer_;
};
