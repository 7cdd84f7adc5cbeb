// One stand-in plugin library; LUMERO_PLUGIN_REGISTRATION names the function it exports. It
// records the call with the stand-in engine (and so in its transcript).

#include "tools/stand_in_engine/stand_in_api.h"
#include "tools/stand_in_plugins/stand_in_plugins.h"

#define LUMERO_PLUGIN_TEXT(name) #name
#define LUMERO_PLUGIN_NAME(name) LUMERO_PLUGIN_TEXT(name)

extern "C" LUMERO_STAND_IN_PLUGIN_API void LUMERO_PLUGIN_REGISTRATION(
    FlutterDesktopPluginRegistrarRef registrar) {
  StandInRecordPluginRegistration(registrar, LUMERO_PLUGIN_NAME(LUMERO_PLUGIN_REGISTRATION));
}
