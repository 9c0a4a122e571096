#include "platform/dxdiag/diag_node.h"

#include <stdexcept>

namespace dxdiag {
namespace {

// Splits off the first step of a dotted path; `rest` is empty after the last step.
std::u16string_view FirstStep(std::u16string_view path, std::u16string_view& rest) {
    const auto dot = path.find(u'.');
    if (dot == std::u16string_view::npos) {
        rest = {};
        return path;
    }
    rest = path.substr(dot + 1);
    // A trailing dot leaves an empty last step, which no container has.
    if (rest.empty()) rest = u".";
    return path.substr(0, dot);
}

}  // namespace

DiagNode::DiagNode(const DiagNode& other) : props_(other.props_) {
    children_.reserve(other.children_.size());
    for (const auto& [name, child] : other.children_)
        children_.emplace_back(name, std::make_unique<DiagNode>(*child));
}

DiagNode& DiagNode::operator=(const DiagNode& other) {
    if (this != &other) *this = DiagNode(other);
    return *this;
}

DiagNode* DiagNode::Child(std::u16string_view name) const {
    for (const auto& [childName, child] : children_)
        if (childName == name) return child.get();
    return nullptr;
}

DiagNode* DiagNode::Find(std::u16string_view path) {
    DiagNode* node = this;
    if (path.empty()) return nullptr;
    while (node && !path.empty()) {
        std::u16string_view rest;
        const auto step = FirstStep(path, rest);
        if (step.empty()) return nullptr;
        node = node->Child(step);
        path = rest;
    }
    return node;
}

const DiagNode* DiagNode::Find(std::u16string_view path) const {
    return const_cast<DiagNode*>(this)->Find(path);
}

DiagNode& DiagNode::Make(std::u16string_view path) {
    if (path.empty()) throw std::invalid_argument("empty container path");
    DiagNode* node = this;
    while (!path.empty()) {
        std::u16string_view rest;
        const auto step = FirstStep(path, rest);
        if (step.empty()) throw std::invalid_argument("empty step in container path");
        DiagNode* child = node->Child(step);
        if (!child) {
            node->children_.emplace_back(std::u16string(step), std::make_unique<DiagNode>());
            child = node->children_.back().second.get();
        }
        node = child;
        path = rest;
    }
    return *node;
}

bool DiagNode::Remove(std::u16string_view path) {
    const auto dot = path.rfind(u'.');
    DiagNode* parent = dot == std::u16string_view::npos ? this : Find(path.substr(0, dot));
    const auto name = dot == std::u16string_view::npos ? path : path.substr(dot + 1);
    if (!parent || name.empty()) return false;
    for (auto it = parent->children_.begin(); it != parent->children_.end(); ++it) {
        if (it->first == name) {
            parent->children_.erase(it);
            return true;
        }
    }
    return false;
}

void DiagNode::RenameChild(std::size_t index, std::u16string name) {
    DiagNode* taken = Child(name);
    if (taken && taken != children_.at(index).second.get())
        throw std::invalid_argument("container name already taken");
    children_.at(index).first = std::move(name);
}

const DiagValue* DiagNode::Prop(std::u16string_view name) const {
    for (const auto& [propName, value] : props_)
        if (propName == name) return &value;
    return nullptr;
}

void DiagNode::SetProp(std::u16string_view name, DiagValue value) {
    for (auto& [propName, existing] : props_) {
        if (propName == name) {
            existing = std::move(value);
            return;
        }
    }
    props_.emplace_back(std::u16string(name), std::move(value));
}

bool DiagNode::RemoveProp(std::u16string_view name) {
    for (auto it = props_.begin(); it != props_.end(); ++it) {
        if (it->first == name) {
            props_.erase(it);
            return true;
        }
    }
    return false;
}

}  // namespace dxdiag
