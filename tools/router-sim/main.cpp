// router-sim: plays the routers of a scenario inside a private network namespace, for
// the end-to-end tests and the demo.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "EventLog.h"
#include "Scenario.h"
#include "Simulator.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) { stopSignal = signal; }

int usage() {
    std::fputs("usage: router-sim SCENARIO [--log FILE] [--image-dir DIR]\n", stderr);
    return 2;
}

// The simulator answers whoever asks; on the machine's own network that could be anyone.
// So it runs only in a namespace that `ip netns add` made (one listed in /run/netns), and
// never in the namespace of process 1 where that can be seen.
bool inPrivateNetworkNamespace() {
    struct stat self {}, init {};
    if (stat("/proc/self/ns/net", &self) < 0) return false;
    if (stat("/proc/1/ns/net", &init) == 0 && init.st_dev == self.st_dev && init.st_ino == self.st_ino) return false;
    DIR* named = opendir("/run/netns");
    if (!named) return false;
    bool found = false;
    while (dirent* entry = readdir(named)) {
        struct stat ns {};
        const std::string path = std::string("/run/netns/") + entry->d_name;
        if (entry->d_name[0] != '.' && stat(path.c_str(), &ns) == 0 && ns.st_dev == self.st_dev &&
            ns.st_ino == self.st_ino)
            found = true;
    }
    closedir(named);
    return found;
}

std::string routersJson(const sim::Scenario& scenario) {
    std::string json = "[";
    for (const auto& r : scenario.routers) {
        if (json.size() > 1) json += ",";
        json += "{\"router\":" + sim::jsonString(r.label) + ",\"mac\":" + sim::jsonString(sim::macText(r.mac)) +
                ",\"address\":" + sim::jsonString(r.addressText) + "}";
    }
    return json + "]";
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenarioPath, logPath, imageDir = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--log" || arg == "--image-dir") && i + 1 < argc)
            (arg == "--log" ? logPath : imageDir) = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && scenarioPath.empty())
            scenarioPath = arg;
        else
            return usage();
    }
    if (scenarioPath.empty()) return usage();

    sim::Scenario scenario;
    try {
        scenario = sim::loadScenario(scenarioPath);
    } catch (const sim::ScenarioError& e) {
        std::fprintf(stderr, "router-sim: %s\n", e.what());
        return 2;
    }
    if (!inPrivateNetworkNamespace()) {
        std::fputs("router-sim: refusing to run outside a private network namespace; "
                   "start it with 'ip netns exec NAMESPACE router-sim ...'\n",
                   stderr);
        return 3;
    }

    std::FILE* out = stdout;
    if (!logPath.empty() && !(out = std::fopen(logPath.c_str(), "w"))) {
        std::fprintf(stderr, "router-sim: cannot write the log %s: %s\n", logPath.c_str(), std::strerror(errno));
        return 1;
    }
    sim::EventLog log(out);

    // The stop signals are let in only while the simulator waits, so none is lost.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    try {
        sim::Simulator simulator(scenario, log, imageDir);
        log.event("ready").rawJson("routers", routersJson(scenario)).write();
        simulator.run(waitMask, stopSignal);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "router-sim: %s\n", e.what());
        log.event("error").text("what", e.what()).write();
        return 1;
    }
    log.event("stop").text("signal", stopSignal == SIGTERM ? "SIGTERM" : "SIGINT").write();
    if (out != stdout) std::fclose(out);
    return 0;
}
