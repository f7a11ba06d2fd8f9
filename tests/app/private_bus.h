// A session bus of the test's own: a dbus-daemon with a minimal
// configuration (no service is ever started on demand), in a folder of its
// own, stopped and removed when the object goes.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace solvari::app::test {

class CPrivateBus {
 public:
  CPrivateBus() {
    char dirTemplate[] = "/tmp/solvari-bus.XXXXXX";
    if (!mkdtemp(dirTemplate)) return;
    m_dir = dirTemplate;
    const std::string config = m_dir + "/bus.conf";
    std::ofstream(config)
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir="
        << m_dir
        << "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
    const std::string command =
        "dbus-daemon --config-file=" + config + " --fork --print-address=1 --print-pid=1";
    FILE* pOut = popen(command.c_str(), "r");
    if (!pOut) return;
    char line[512];
    std::string address, pid;
    if (std::fgets(line, sizeof line, pOut)) address = line;
    if (std::fgets(line, sizeof line, pOut)) pid = line;
    pclose(pOut);
    while (!address.empty() && (address.back() == '\n' || address.back() == '\r'))
      address.pop_back();
    m_pid = static_cast<pid_t>(std::atol(pid.c_str()));
    if (m_pid > 0) m_address = address;
  }
  ~CPrivateBus() {
    if (m_pid > 0) kill(m_pid, SIGTERM);
    if (!m_dir.empty()) {
      std::error_code error;
      std::filesystem::remove_all(m_dir, error);
    }
  }
  CPrivateBus(const CPrivateBus&) = delete;
  CPrivateBus& operator=(const CPrivateBus&) = delete;

  // Empty when the bus did not start.
  const std::string& Address() const { return m_address; }

 private:
  std::string m_dir;
  std::string m_address;
  pid_t m_pid = 0;
};

}  // namespace solvari::app::test
