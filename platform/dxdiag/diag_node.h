#pragma once
// The provider's data: a tree of named containers, each with named properties, both kept
// in insertion order (the order the enumeration methods report).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace dxdiag {

// A property value in the kinds the provider hands out: text (VT_BSTR), unsigned 32-bit
// (VT_UI4), signed 32-bit (VT_I4) and boolean (VT_BOOL).
struct DiagValue {
    std::variant<std::u16string, std::uint32_t, std::int32_t, bool> value;

    static DiagValue Text(std::u16string text) { return {std::move(text)}; }
    static DiagValue UInt(std::uint32_t number) { return {number}; }
    static DiagValue Int(std::int32_t number) { return {number}; }
    static DiagValue Bool(bool flag) { return {flag}; }

    bool operator==(const DiagValue&) const = default;
};

class DiagNode {
public:
    DiagNode() = default;
    DiagNode(const DiagNode& other);  // deep copy
    DiagNode& operator=(const DiagNode& other);
    DiagNode(DiagNode&&) = default;
    DiagNode& operator=(DiagNode&&) = default;

    // A descendant by dotted path ("DxDiag_DisplayDevices.0"); null when any step is
    // missing or the path is empty or has an empty step.
    DiagNode* Find(std::u16string_view path);
    const DiagNode* Find(std::u16string_view path) const;
    // The descendant, creating the missing steps at the end of their parents' lists.
    // Throws std::invalid_argument for an empty path or step.
    DiagNode& Make(std::u16string_view path);
    // Removes a descendant with everything below it; false when it is missing.
    bool Remove(std::u16string_view path);

    std::size_t ChildCount() const { return children_.size(); }
    const std::u16string& ChildName(std::size_t index) const { return children_.at(index).first; }
    // Renames a direct child; the new name must not be taken by another child.
    void RenameChild(std::size_t index, std::u16string name);

    // Null when the property is missing.
    const DiagValue* Prop(std::u16string_view name) const;
    // Replaces the value in place, or appends a new property.
    void SetProp(std::u16string_view name, DiagValue value);
    bool RemoveProp(std::u16string_view name);
    std::size_t PropCount() const { return props_.size(); }
    const std::u16string& PropName(std::size_t index) const { return props_.at(index).first; }

private:
    DiagNode* Child(std::u16string_view name) const;

    std::vector<std::pair<std::u16string, std::unique_ptr<DiagNode>>> children_;
    std::vector<std::pair<std::u16string, DiagValue>> props_;
};

}  // namespace dxdiag
