#include "platform/engine/string_interface.h"

CStringInterface::~CStringInterface() = default;

bool CStringInterface::SetParameter(const std::string& name, const std::string& value) {
    if (name.empty()) return false;
    parameters_[name] = value;
    return true;
}

void CStringInterface::SetParameterList(const ParameterList& list) {
    for (const auto& [name, value] : list) SetParameter(name, value);
}

std::string CStringInterface::GetParameter(const std::string& name) const {
    const auto found = parameters_.find(name);
    return found == parameters_.end() ? std::string() : found->second;
}

void CStringInterface::CopyParamtersTo(CStringInterface* target) const {
    if (target == nullptr || target == this) return;
    target->SetParameterList(parameters_);
}
