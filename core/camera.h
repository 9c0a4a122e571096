#pragma once
// CCamera: a named camera of the scene manager. Rendering uses only the camera's scene
// manager; the four parameters and the flags are kept for the host and read by nothing.
#include <cstdint>
#include <string>

class CSceneManager;

class CCamera {
public:
    // Made by CSceneManager::CreateCamera, which owns it; `owner` outlives the camera.
    CCamera(const std::string& name, CSceneManager* owner);
    virtual ~CCamera();
    CCamera(const CCamera&) = delete;
    CCamera& operator=(const CCamera&) = delete;

    virtual const std::string& GetName() const;
    // Stores the four values, enables the camera and marks it dirty; always true.
    virtual bool SetParameters(float a, float b, float c, float d);
    virtual void Disable();
    virtual bool IsEnabled() const;

    CSceneManager* GetSceneManager() const { return owner_; }
    bool IsDirty() const { return dirty_ != 0; }
    float GetParameter(int index) const { return parameters_[index & 3]; }

private:
    std::string name_;
    CSceneManager* owner_;
    float parameters_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool enabled_ = false;
    std::int32_t dirty_ = 0;
};
