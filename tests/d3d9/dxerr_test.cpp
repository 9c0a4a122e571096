// DxErr texts for the codes the stand-ins return.
#include <gtest/gtest.h>

#include <string>

#include "platform/d3d9/d3d9_types.h"
#include "platform/dxerr/dxerr.h"

namespace {

std::string Narrow(const char16_t* text) {
    std::string out;
    for (; *text != u'\0'; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

TEST(DxErr, EveryCodeOfTheStandInsHasItsOwnNameAndDescription) {
    const HRESULT codes[] = {S_OK, E_FAIL, E_OUTOFMEMORY, E_INVALIDARG, E_POINTER, E_NOTIMPL, E_NOINTERFACE,
                             D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET, D3DERR_DRIVERINTERNALERROR,
                             D3DERR_OUTOFVIDEOMEMORY, D3DERR_INVALIDCALL, D3DERR_NOTAVAILABLE, D3DERR_NOTFOUND,
                             D3DERR_WRONGTEXTUREFORMAT, MAKE_HRESULT(1, 0x876, 2905),
                             static_cast<HRESULT>(0x88760231u) /* DDERR_INVALIDDIRECTDRAWGUID */};
    const std::string unknown = DXGetErrorDescriptionA(static_cast<HRESULT>(0x8BADF00Du));
    for (HRESULT hr : codes) {
        const std::string description = DXGetErrorDescriptionA(hr);
        EXPECT_NE(description, unknown) << std::hex << hr;
        EXPECT_EQ(Narrow(DXGetErrorDescriptionW(hr)), description) << std::hex << hr;
        EXPECT_EQ(Narrow(DXGetErrorStringW(hr)), DXGetErrorStringA(hr));
    }
    EXPECT_STREQ(DXGetErrorStringA(D3DERR_INVALIDCALL), "D3DERR_INVALIDCALL");
    EXPECT_STREQ(DXGetErrorStringA(static_cast<HRESULT>(0x8876086Cu)), "D3DERR_INVALIDCALL");
    EXPECT_STREQ(DXGetErrorStringA(MAKE_HRESULT(1, 0x876, 2905)), "D3DXERR_INVALIDDATA");
    EXPECT_STREQ(DXGetErrorStringA(static_cast<HRESULT>(0x8876017Cu)), "D3DERR_OUTOFVIDEOMEMORY");
}

TEST(DxErr, UnknownCodesGetOneFixedText) {
    EXPECT_EQ(std::string(DXGetErrorDescriptionA(0x12345678)), DXGetErrorDescriptionA(static_cast<HRESULT>(0x80001234u)));
    EXPECT_EQ(Narrow(DXGetErrorDescriptionW(0x12345678)), DXGetErrorDescriptionA(0x12345678));
    EXPECT_EQ(DXGetErrorDescriptionW(0x12345678), DXGetErrorDescriptionW(0x7654321)) << "a static text";
}

}  // namespace
