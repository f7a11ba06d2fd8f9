// SPDX-License-Identifier: GPL-3.0-or-later
// A session bus of the test's own: a dbus-daemon with a minimal
// configuration (no service is ever started on demand), in a folder of its
// own, stopped and removed when the object goes.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

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
    // The daemon is the test's own child and goes with it, however the test
    // ends (an abort, or Qt Test's -functions, which exits at once).
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string configArg = "--config-file=" + config;
    const pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      execlp("dbus-daemon", "dbus-daemon", configArg.c_str(), "--nofork", "--print-address=1",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      return;
    }
    m_pid = pid;
    std::string address;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') address += c;
    close(fds[0]);
    m_address = address;
  }
  ~CPrivateBus() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
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
