#pragma once

#include <string>
#include <vector>

// How the simulated cable appears to a Wine prefix: the COM port as a dosdevices link to the
// pseudo-terminal, and a CP2102 device node in the prefix's registry whose "PortName" names it.
struct WineDeviceOptions {
  std::string prefix;    // Wine prefix folder
  int comNumber = 7;     // COM7
  std::string instance;  // device instance key name
  std::string wine = "wine";
  bool registry = true;  // false: only the dosdevices link
};

class WineComDevice {
 public:
  explicit WineComDevice(WineDeviceOptions options);
  ~WineComDevice();  // removes whatever is still plugged
  WineComDevice(const WineComDevice&) = delete;
  WineComDevice& operator=(const WineComDevice&) = delete;

  // Points the COM port at slavePath and adds the device; throws std::runtime_error.
  void Plug(const std::string& slavePath);
  // Removes the link and the device; never throws.
  void Unplug();
  // Removes a device of the same instance left behind by an earlier run that was killed.
  void RemoveStale();

  // Another COM number for the next Plug(); only while unplugged. The device instance stays.
  void MoveTo(int comNumber);
  std::string ComName() const;  // "COM7"
  std::string RegistryKey() const;
  bool Plugged() const { return plugged_; }

 private:
  std::string LinkPath() const;
  // Runs wine with arguments in the prefix; true when it exits with status 0.
  bool RunWine(const std::vector<std::string>& arguments) const;
  void AddRegistryDevice() const;

  WineDeviceOptions options_;
  bool plugged_ = false;
};
