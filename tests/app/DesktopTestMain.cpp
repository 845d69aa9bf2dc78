// The desktop tests run the built program the way a session does: on a private session
// bus (the program re-runs itself under dbus-run-session) and on an X server of its own
// (Xvfb), so they touch neither the user's bus nor the user's display.
#include <QApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
// Starts Xvfb on a display number it picks itself; 0 when it does not come up.
pid_t StartXvfb(std::string& display) {
    int fds[2];
    if (pipe(fds) != 0)
        return 0;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return 0;
    }
    display = ":" + number;
    return pid;
}
} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("VIREO_TEST_PRIVATE_BUS")) {
        setenv("VIREO_TEST_PRIVATE_BUS", "1", 1);
        std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp(args[0], args.data());
        std::perror("vireo tests: dbus-run-session");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    std::string display;
    pid_t xvfb = StartXvfb(display);
    if (!xvfb) {
        std::fprintf(stderr, "vireo tests: Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int status;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    return status;
}
