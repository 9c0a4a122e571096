#pragma once
// The legacy demo's text: a Latin line, a Chinese line (its Latin from the western font), an
// outlined line, a paragraph wrapped in a box and a frame counter, in DejaVu Sans and
// WenQuanYi Micro Hei. Without those fonts it draws nothing.
#include <vector>

#include "core/lumiscriber_api.h"

class DemoText {
public:
    explicit DemoText(IRenderer* renderer);
    ~DemoText();
    DemoText(const DemoText&) = delete;
    DemoText& operator=(const DemoText&) = delete;

    // Draws the text into the current target of `width` x `height`; returns the draws.
    int Draw(int frame, int width, int height);

private:
    IRenderer* renderer_;
    bool hasFonts_ = false;
    STRU_DRAW_COMMAND_BASE* latin_ = nullptr;
    STRU_DRAW_COMMAND_BASE* chinese_ = nullptr;
    STRU_DRAW_COMMAND_BASE* outlined_ = nullptr;
    STRU_DRAW_COMMAND_BASE* wrapped_ = nullptr;
    STRU_DRAW_COMMAND_BASE* counter_ = nullptr;
};
