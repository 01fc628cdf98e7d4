#pragma once

#include <vector>

namespace moxeltest {

// Joins the steps and step lists of a scripted server's script, in order: Join(Greeting(),
// step, Login()). Works for any server whose script is a vector of its Step type.
template <typename Step>
void AppendToScript(std::vector<Step>& script, const std::vector<Step>& piece) {
    script.insert(script.end(), piece.begin(), piece.end());
}
template <typename Step>
void AppendToScript(std::vector<Step>& script, const Step& step) {
    script.push_back(step);
}
template <typename Step, typename... Pieces>
std::vector<Step> JoinScript(const Pieces&... pieces) {
    std::vector<Step> joined;
    (AppendToScript<Step>(joined, pieces), ...);
    return joined;
}

}  // namespace moxeltest
