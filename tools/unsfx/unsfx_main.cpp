// unsfx: unpacks a self-extracting program on the host, with the same engine
// the program itself runs on Windows, or lists what it holds.
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <string>
#include "console.h"
#include "archive/archive_open.h"
#include "archive/config_block.h"
#include "engine/extract_run.h"
#include "support/host_text.h"
#include "support/platform.h"

ConsoleOptions Options;
bool InputIsTerminal = false;
bool StatusIsTerminal = false;

static const char* const HelpText =
    "Aufruf: unsfx [-d ORDNER] [-o | -n] [-p KENNWORT] DATEI\n"
    "        unsfx -l DATEI\n"
    "        unsfx --help\n"
    "\n"
    "Entpackt das selbstentpackende Programm DATEI mit derselben Entpack-Logik,\n"
    "die das Programm unter Windows ausf\xC3\xBChrt.\n"
    "\n"
    "  -d ORDNER    Zielordner (Vorgabe: der aktuelle Ordner)\n"
    "  -o           vorhandene Dateien ohne Nachfrage ersetzen\n"
    "  -n           vorhandene Dateien behalten (Eintrag \xC3\xBC" "berspringen)\n"
    "  -p KENNWORT  Kennwort f\xC3\xBCr verschl\xC3\xBCsselte Eintr\xC3\xA4ge; passt es nicht, wird am\n"
    "               Terminal nachgefragt, ohne Terminal bricht der Eintrag ab\n"
    "  -l           Inhalt auflisten statt entpacken: Gr\xC3\xB6\xC3\x9F" "e, Datum, Uhrzeit,\n"
    "               CRC-32 und der Name, unter dem der Eintrag geschrieben w\xC3\xBCrde\n"
    "  --help       diese Hilfe\n"
    "\n"
    "Ohne -o und -n wird am Terminal gefragt, ob eine vorhandene Datei ersetzt\n"
    "wird (ja / nein / alle / abbrechen); ohne Terminal bricht eine vorhandene\n"
    "Datei den Lauf ab. Ohne -p wird das Kennwort am Terminal ohne Echo erfragt.\n"
    "Ein im Programm eingetragener Befehl wird nur angezeigt, nicht ausgef\xC3\xBChrt.\n"
    "\n"
    "Exit-Code: 0 nur, wenn alle Eintr\xC3\xA4ge fehlerfrei entpackt wurden; 1 bei einem\n"
    "Fehler im Archiv oder beim Schreiben; 2 bei falschem Aufruf.\n";

static int Usage(const char* problem) {
    fprintf(stderr, "unsfx: %s\n", problem);
    fprintf(stderr, "Aufruf: unsfx [-d ORDNER] [-o | -n] [-p KENNWORT] DATEI | unsfx -l DATEI | unsfx --help\n");
    return 2;
}

int main(int argc, char** argv) {
    bool haveFile = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            fputs(HelpText, stdout);
            return 0;
        } else if (arg == "-d" || arg == "-p") {
            if (i + 1 >= argc) return Usage(("nach " + arg + " fehlt der Wert").c_str());
            if (arg == "-d") folder = argv[++i];
            else {
                Options.hasPassword = true;
                Options.password = argv[++i];
            }
        } else if (arg == "-o") {
            Options.replaceAll = true;
        } else if (arg == "-n") {
            Options.skipExisting = true;
        } else if (arg == "-l") {
            Options.listOnly = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unbekannte Option " + arg).c_str());
        } else if (haveFile) {
            return Usage("nur eine DATEI angeben");
        } else {
            haveFile = true;
            Options.programFileShown = arg;
        }
    }
    if (!haveFile) return Usage("DATEI fehlt");
    if (Options.replaceAll && Options.skipExisting) return Usage("-o und -n schlie\xC3\x9F" "en sich aus");
    if (Options.hasPassword && Options.password.size() >= PASSWORD_SIZE) return Usage("Kennwort zu lang");
    // Paths are UTF-8 inside as on the host; only their length is bounded.
    Options.programFile = Options.programFileShown;
    Options.targetFolder = folder;
    if (Options.targetFolder.size() > SFX_PATH_BYTES - 8) return Usage("der Zielordner ist zu lang");
    // The engine walks paths at backslashes when it makes missing folders;
    // the host's file layer turns them back into slashes.
    for (char& c : Options.targetFolder)
        if (c == '/') c = '\\';

    InputIsTerminal = isatty(STDIN_FILENO) != 0;
    StatusIsTerminal = isatty(STDERR_FILENO) != 0;

    if (Options.listOnly)
        return ListArchive();

    // The first Ctrl-C cancels the run cleanly; a second one ends at once.
    struct sigaction onInterrupt = {};
    onInterrupt.sa_handler = [](int) { CancelRequested = 1; };
    onInterrupt.sa_flags = SA_RESETHAND;
    sigemptyset(&onInterrupt.sa_mask);
    sigaction(SIGINT, &onInterrupt, nullptr);

    // As the Windows program does at start-up: read the configured command
    // once, then run the extraction with it. The host records the command
    // instead of starting it.
    char configTarget[CONFIG_TEXT_SIZE] = "";
    char configCommand[CONFIG_TEXT_SIZE] = "";
    OpenArchive(Options.programFile.c_str());
    if (Archive.status == SFX_OK)
        GetConfigBlock(configTarget, configCommand);
    CloseArchive();

    int startsBefore = HostStartCount;
    ExtractArchive(Options.programFile.c_str(), Options.targetFolder.c_str(), configCommand);
    SfxStatus status = Archive.status;
    if (HostStartCount != startsBefore)
        fprintf(stderr, "Befehl (nicht ausgef\xC3\xBChrt): %s\n", HostStartedCommand);
    else if (configCommand[0] != '\0')
        fprintf(stderr, "Befehl wegen des Fehlers nicht an der Reihe: %s\n", configCommand);
    return status == SFX_OK ? 0 : 1;
}
