#pragma once
// CStringInterface: the engine's named string parameters, the first interface of every
// resource. The renderer never sets or reads a parameter; it only derives from the class.
//
// Parameters are narrow (UTF-8) name and value pairs kept by the object itself. Not
// thread-safe: only the resource's owner touches them, never the loader's steps.
#include <map>
#include <string>

class CStringInterface {
public:
    using ParameterList = std::map<std::string, std::string>;

    // The virtual operations in their table order: the deleting destructor first.
    virtual ~CStringInterface();

    // Stores `value` under `name`, replacing an earlier value. An empty name is refused
    // (false) and nothing is stored.
    virtual bool SetParameter(const std::string& name, const std::string& value);

    // SetParameter for every pair of the list, in the list's order.
    virtual void SetParameterList(const ParameterList& list);

    // The value stored under `name`, or an empty string when there is none.
    virtual std::string GetParameter(const std::string& name) const;

    // Sets every parameter of this object on `target` (null: nothing), keeping the
    // target's other parameters.
    virtual void CopyParamtersTo(CStringInterface* target) const;

protected:
    CStringInterface() = default;
    CStringInterface(const CStringInterface&) = default;
    CStringInterface& operator=(const CStringInterface&) = default;

private:
    ParameterList parameters_;
};
