// The library's load and unload entry. The platform backend calls these from
// DllMain (Windows) or from the shared object's constructor and destructor.
#pragma once

namespace measure {

void onProcessAttach();
void onProcessDetach();
void onThreadAttach();
void onThreadDetach();

}  // namespace measure
