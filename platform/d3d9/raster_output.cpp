#include "platform/d3d9/raster_output.h"

#include <algorithm>

namespace d3d9sw {
namespace {

bool IsSourceFactor(DWORD f) { return f >= D3DBLEND_ZERO && f <= D3DBLEND_INVBLENDFACTOR; }
bool IsDestinationFactor(DWORD f) {
    return IsSourceFactor(f) && f != D3DBLEND_BOTHSRCALPHA && f != D3DBLEND_BOTHINVSRCALPHA;
}
bool IsBlendOp(DWORD op) { return op >= D3DBLENDOP_ADD && op <= D3DBLENDOP_MAX; }

// The factor for one channel (0 blue .. 3 alpha) scaled to 0..255.
int Factor(DWORD factor, int channel, const Rgba& src, const Rgba& dst, const Rgba& constant) {
    const int s[4] = {src.b, src.g, src.r, src.a};
    const int d[4] = {dst.b, dst.g, dst.r, dst.a};
    const int k[4] = {constant.b, constant.g, constant.r, constant.a};
    switch (factor) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 255;
    case D3DBLEND_SRCCOLOR: return s[channel];
    case D3DBLEND_INVSRCCOLOR: return 255 - s[channel];
    case D3DBLEND_SRCALPHA:
    case D3DBLEND_BOTHSRCALPHA: return src.a;
    case D3DBLEND_INVSRCALPHA:
    case D3DBLEND_BOTHINVSRCALPHA: return 255 - src.a;
    case D3DBLEND_DESTALPHA: return dst.a;
    case D3DBLEND_INVDESTALPHA: return 255 - dst.a;
    case D3DBLEND_DESTCOLOR: return d[channel];
    case D3DBLEND_INVDESTCOLOR: return 255 - d[channel];
    case D3DBLEND_SRCALPHASAT: return channel == 3 ? 255 : std::min(src.a, 255 - dst.a);
    case D3DBLEND_BLENDFACTOR: return k[channel];
    case D3DBLEND_INVBLENDFACTOR: return 255 - k[channel];
    default: return 0;
    }
}

int Combine(DWORD op, int s, int sf, int d, int df) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return std::max(s * sf - d * df + 127, 0) / 255;
    case D3DBLENDOP_REVSUBTRACT: return std::max(d * df - s * sf + 127, 0) / 255;
    case D3DBLENDOP_MIN: return std::min(s, d);
    case D3DBLENDOP_MAX: return std::max(s, d);
    default: return std::min((s * sf + d * df + 127) / 255, 255);
    }
}

}  // namespace

bool DepthBuffer::Configure(const SurfaceView& view, const DWORD* renderStates) {
    view_ = view;
    kind_ = Kind::kNone;
    const DWORD enable = renderStates[D3DRS_ZENABLE];
    if (enable == D3DZB_USEW) return false;
    if (enable == D3DZB_FALSE || view.bits == nullptr) return true;
    if (!IsCompareFunc(renderStates[D3DRS_ZFUNC])) return false;
    func_ = static_cast<D3DCMPFUNC>(renderStates[D3DRS_ZFUNC]);
    write_ = renderStates[D3DRS_ZWRITEENABLE] != FALSE;
    switch (view.format) {
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE: kind_ = Kind::k16; return true;
    case D3DFMT_D24S8:
    case D3DFMT_D24X8: kind_ = Kind::k24; return true;
    default: return false;
    }
}

bool Blender::Configure(const DWORD* rs) {
    enabled_ = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    if (!enabled_) return true;
    color_ = {rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], rs[D3DRS_BLENDOP]};
    alpha_ = rs[D3DRS_SEPARATEALPHABLENDENABLE] != FALSE
                 ? Equation{rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], rs[D3DRS_BLENDOPALPHA]}
                 : color_;
    factor_ = Rgba::FromArgb(rs[D3DRS_BLENDFACTOR]);
    for (Equation* e : {&color_, &alpha_}) {
        if (!IsSourceFactor(e->src) || !IsDestinationFactor(e->dst) || !IsBlendOp(e->op)) return false;
        // BOTHSRCALPHA and BOTHINVSRCALPHA set both factors.
        if (e->src == D3DBLEND_BOTHSRCALPHA) e->dst = D3DBLEND_INVSRCALPHA;
        if (e->src == D3DBLEND_BOTHINVSRCALPHA) e->dst = D3DBLEND_SRCALPHA;
    }
    return true;
}

bool Blender::IsSourceAlphaOver() const {
    const Equation over{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD};
    auto same = [](const Equation& a, const Equation& b) { return a.src == b.src && a.dst == b.dst && a.op == b.op; };
    return enabled_ && same(color_, over) && same(alpha_, over);
}

Rgba Blender::Blend(const Rgba& src, const Rgba& dst) const {
    const int s[4] = {src.b, src.g, src.r, src.a};
    const int d[4] = {dst.b, dst.g, dst.r, dst.a};
    int out[4];
    for (int c = 0; c < 4; ++c) {
        const Equation& e = c == 3 ? alpha_ : color_;
        out[c] = Combine(e.op, s[c], Factor(e.src, c, src, dst, factor_), d[c], Factor(e.dst, c, src, dst, factor_));
    }
    return {out[0], out[1], out[2], out[3]};
}

void TargetWriter::Write(int x, int y, Rgba color) const {
    if (mask_ != 0xF) {
        if (mask_ == 0) return;
        const Rgba old = Read(x, y);
        if (!(mask_ & 1)) color.r = old.r;
        if (!(mask_ & 2)) color.g = old.g;
        if (!(mask_ & 4)) color.b = old.b;
        if (!(mask_ & 8)) color.a = old.a;
    }
    WritePixel(view_, x, y, color.ToArgb());
}

}  // namespace d3d9sw
