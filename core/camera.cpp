#include "core/camera.h"

CCamera::CCamera(const std::string& name, CSceneManager* owner) : name_(name), owner_(owner) {}

CCamera::~CCamera() = default;

const std::string& CCamera::GetName() const { return name_; }

bool CCamera::SetParameters(float a, float b, float c, float d) {
    parameters_[0] = a;
    parameters_[1] = b;
    parameters_[2] = c;
    parameters_[3] = d;
    enabled_ = true;
    dirty_ = 1;
    return true;
}

void CCamera::Disable() { enabled_ = false; }

bool CCamera::IsEnabled() const { return enabled_; }
