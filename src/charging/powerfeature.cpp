#include <celdor/powerfeature.h>

namespace Celdor {

CPowerFeatureBase::CPowerFeatureBase() = default;
CPowerFeatureBase::CPowerFeatureBase(const CPowerFeatureBase&) = default;
CPowerFeatureBase& CPowerFeatureBase::operator=(const CPowerFeatureBase&) = default;
CPowerFeatureBase::~CPowerFeatureBase() = default;

} // namespace Celdor
