#pragma once
// The provider and container objects and their hooks into the control state; internal to
// the DxDiag stand-in.
#include <memory>

#include "platform/dxdiag/diag_node.h"
#include "platform/dxdiag/dxdiag.h"

namespace dxdiag {

// Class factory registered for CLSID_DxDiagProvider.
HRESULT CreateProvider(REFIID iid, void** object);
// A container over `node`, which lives in `tree`; the container keeps the tree alive.
// Null when out of memory.
IDxDiagContainer* NewContainer(std::shared_ptr<const DiagNode> tree, const DiagNode* node);

}  // namespace dxdiag

namespace dxdiagctl::detail {

HRESULT OnCreate();  // the scripted result of creating the class
// Records the call (params may be null) and returns the scripted result.
HRESULT OnInitialize(const DXDIAG_INIT_PARAMS* params);
// Defaults plus edits, as of now.
std::shared_ptr<const dxdiag::DiagNode> BuildTree();
void ObjectCreated();
void ObjectDestroyed();

}  // namespace dxdiagctl::detail
