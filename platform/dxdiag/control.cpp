#include "platform/dxdiag/control.h"

#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/dxdiag/default_tree.h"
#include "platform/dxdiag/diag_objects.h"
#include "platform/win32/text.h"

namespace dxdiagctl {
namespace {

using dxdiag::DiagNode;
// An edit of the tree; gets the tree to change and the untouched defaults. Throws
// std::invalid_argument when it does not apply.
using Edit = std::function<void(DiagNode& tree, const DiagNode& defaults)>;

struct State {
    std::mutex mutex;
    std::vector<Edit> edits;
    HRESULT createResult = S_OK;
    HRESULT initializeResult = S_OK;
    DXDIAG_INIT_PARAMS lastInitParams{};
    int initializeCalls = 0;
    int liveObjects = 0;
};

State& GetState() {
    static State state;
    return state;
}

DiagNode BuildDefaults() {
    return dxdiag::BuildDefaultTree(dxdiag::ReadMachineFacts(), dxdiag::ReadAdapterFigures(),
                                    dxdiag::CurrentTimeText());
}

DiagNode Replay(const std::vector<Edit>& edits, const DiagNode& defaults) {
    DiagNode tree = defaults;
    for (const Edit& edit : edits) edit(tree, defaults);
    return tree;
}

DiagNode& Existing(DiagNode& tree, std::u16string_view path) {
    DiagNode* node = tree.Find(path);
    if (!node) throw std::invalid_argument("no DxDiag container " + win32::Utf16ToUtf8(path));
    return *node;
}

// Checks the edit on the tree as it would be built now, then keeps it; returns that tree.
DiagNode Apply(Edit edit) {
    const DiagNode defaults = BuildDefaults();
    State& state = GetState();
    std::lock_guard lock(state.mutex);
    DiagNode tree = Replay(state.edits, defaults);
    edit(tree, defaults);
    state.edits.push_back(std::move(edit));
    return tree;
}

// Present from start-up, as the provider is on a real system.
[[maybe_unused]] const bool kInstalled = (Install(), true);

}  // namespace

void Install() { win32::RegisterComClass(CLSID_DxDiagProvider, &dxdiag::CreateProvider); }

void SetProp(std::u16string_view path, std::u16string_view name, DiagValue value) {
    Apply([path = std::u16string(path), name = std::u16string(name), value](DiagNode& tree, const DiagNode&) {
        tree.Make(path).SetProp(name, value);
    });
}

void RemoveProp(std::u16string_view path, std::u16string_view name) {
    Apply([path = std::u16string(path), name = std::u16string(name)](DiagNode& tree, const DiagNode&) {
        if (!Existing(tree, path).RemoveProp(name))
            throw std::invalid_argument("no DxDiag property " + win32::Utf16ToUtf8(name));
    });
}

void RemoveContainer(std::u16string_view path) {
    Apply([path = std::u16string(path)](DiagNode& tree, const DiagNode&) {
        if (!tree.Remove(path)) throw std::invalid_argument("no DxDiag container " + win32::Utf16ToUtf8(path));
    });
}

std::u16string DisplayDevicePath(DWORD index) {
    return std::u16string(dxdiag::kDisplayDevices) + u"." + win32::Utf8ToUtf16(std::to_string(index));
}

DWORD AddDisplayDevice() {
    const DiagNode tree = Apply([](DiagNode& tree, const DiagNode& defaults) {
        const DiagNode* first = defaults.Find(DisplayDevicePath(0));
        if (!first) throw std::invalid_argument("no default display device to copy");
        DiagNode& devices = tree.Make(dxdiag::kDisplayDevices);
        const auto index = static_cast<DWORD>(devices.ChildCount());
        DiagNode& device = devices.Make(win32::Utf8ToUtf16(std::to_string(index)));
        device = *first;
        device.SetProp(u"iAdapter", DiagValue::UInt(index));
    });
    return static_cast<DWORD>(tree.Find(dxdiag::kDisplayDevices)->ChildCount() - 1);
}

void RemoveDisplayDevice(DWORD index) {
    Apply([index](DiagNode& tree, const DiagNode&) {
        DiagNode& devices = Existing(tree, dxdiag::kDisplayDevices);
        if (!devices.Remove(win32::Utf8ToUtf16(std::to_string(index))))
            throw std::invalid_argument("no display device " + std::to_string(index));
        // Devices are numbered without gaps, as the platform lists them.
        for (std::size_t i = index; i < devices.ChildCount(); ++i)
            devices.RenameChild(i, win32::Utf8ToUtf16(std::to_string(i)));
    });
}

void SetCreateResult(HRESULT result) {
    std::lock_guard lock(GetState().mutex);
    GetState().createResult = result;
}

void SetInitializeResult(HRESULT result) {
    std::lock_guard lock(GetState().mutex);
    GetState().initializeResult = result;
}

DXDIAG_INIT_PARAMS LastInitParams() {
    std::lock_guard lock(GetState().mutex);
    return GetState().lastInitParams;
}

int InitializeCalls() {
    std::lock_guard lock(GetState().mutex);
    return GetState().initializeCalls;
}

int LiveObjects() {
    std::lock_guard lock(GetState().mutex);
    return GetState().liveObjects;
}

void Reset() {
    {
        State& state = GetState();
        std::lock_guard lock(state.mutex);
        state.edits.clear();
        state.createResult = S_OK;
        state.initializeResult = S_OK;
        state.lastInitParams = {};
        state.initializeCalls = 0;
    }
    Install();
}

namespace detail {

HRESULT OnCreate() {
    std::lock_guard lock(GetState().mutex);
    return GetState().createResult;
}

HRESULT OnInitialize(const DXDIAG_INIT_PARAMS* params) {
    State& state = GetState();
    std::lock_guard lock(state.mutex);
    ++state.initializeCalls;
    if (params) state.lastInitParams = *params;
    return state.initializeResult;
}

std::shared_ptr<const dxdiag::DiagNode> BuildTree() {
    const DiagNode defaults = BuildDefaults();
    State& state = GetState();
    std::lock_guard lock(state.mutex);
    return std::make_shared<const DiagNode>(Replay(state.edits, defaults));
}

void ObjectCreated() {
    std::lock_guard lock(GetState().mutex);
    ++GetState().liveObjects;
}

void ObjectDestroyed() {
    std::lock_guard lock(GetState().mutex);
    --GetState().liveObjects;
}

}  // namespace detail
}  // namespace dxdiagctl
