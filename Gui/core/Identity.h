#pragma once

#include <string>
#include <string_view>

// Names the running program: the single-instance and quit-request identifier, the settings key
// of the desktop shell, and the version.
namespace Identity {

inline constexpr const char* kApplicationId = "Ostrand.Moxel.1";
inline constexpr const char* kRegistryKey = "Ostrand Moxel";
inline constexpr const char* kProductName = "Moxel";
// The build revision text the version is made from.
inline constexpr const char* kBuildRevision = "185";
// The edition label shown after the version; empty in this build.
inline constexpr const char* kEdition = "";
// The product's home page, named at the foot of every verification request.
inline constexpr const char* kHomePage = "https://www.ostrand.com/moxel/";

// The build number of a revision text: the decimal integer after a ":" if it holds one, else of
// the whole text; "no_build_number" when there is no integer.
std::string GetBuildNumber(std::string_view revision);

// "1.0." followed by the build number of kBuildRevision.
std::string GetVersion();

}  // namespace Identity
