// Preloaded into the program by scripts/booted-check.sh: every text that a label is given is also
// written as one line to the file ORVANE_STATUS_LOG names, so the check can read the status line
// that a user sees. The program itself is not changed.
#include <QLabel>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

void QLabel::setText(const QString& text) {
    using SetText = void (*)(QLabel*, const QString&);
    static const auto real = reinterpret_cast<SetText>(dlsym(RTLD_NEXT, "_ZN6QLabel7setTextERK7QString"));
    if (const char* path = std::getenv("ORVANE_STATUS_LOG")) {
        if (std::FILE* log = std::fopen(path, "a")) {
            std::fprintf(log, "%s\n", QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().constData());
            std::fclose(log);
        }
    }
    real(this, text);
}
