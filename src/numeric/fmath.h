#pragma once

namespace plk::fmath {

// Machine constants shared by the numerical modules.
inline constexpr double machineEpsilon = 2.220446049250313e-16;  // 2^-52

}  // namespace plk::fmath
