// The product's factory: the meter over the Win32 platform.
#include "runner/meter/miernik.h"
#include "runner/meter/win32_meter_platform.h"

namespace meter_link {

std::shared_ptr<Miernik> Miernik::Create(flutter::FlutterEngine* engine) {
  return Create(engine, Win32MeterPlatform());
}

}  // namespace meter_link
