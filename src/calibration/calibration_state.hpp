#pragma once
// The simulated event peaks and volumes a calibration scores.

namespace torva {

struct CalibrationResults {};

}  // namespace torva
