#include "Prompts.h"

#include <cstdio>

namespace {
std::unique_ptr<Prompts> &current() {
    static std::unique_ptr<Prompts> prompts = std::make_unique<ConsolePrompts>();
    return prompts;
}
} // namespace

Prompts &Prompts::instance() {
    return *current();
}

void Prompts::install(std::unique_ptr<Prompts> prompts) {
    current() = prompts ? std::move(prompts) : std::make_unique<ConsolePrompts>();
}

void ConsolePrompts::message(const QString &text, Icon, const QString &title) {
    const QString line = title.isEmpty() ? text : title + QStringLiteral(": ") + text;
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

Prompts::Answer ConsolePrompts::question(const QString &text, const QString &title) {
    message(text, Icon::Question, title);
    return Answer::Cancel;
}

Prompts::Answer ConsolePrompts::confirm(const QString &text, const QString &title) {
    message(text, Icon::Question, title);
    return Answer::Cancel;
}

bool ConsolePrompts::inputText(const QString &, const QString &, QString &) {
    return false;
}
QString ConsolePrompts::openFileName(const QString &, const QString &, const QString &) {
    return {};
}
QString ConsolePrompts::saveFileName(const QString &, const QString &, const QString &) {
    return {};
}

bool ConsolePrompts::chooseColor(uint32_t &, const QString &) {
    return false;
}

void RecordingPrompts::message(const QString &text, Icon icon, const QString &) {
    asked.append({QStringLiteral("message"), text, icon, {}});
}

Prompts::Answer RecordingPrompts::question(const QString &text, const QString &) {
    asked.append({QStringLiteral("question"), text, Icon::Question, {}});
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

Prompts::Answer RecordingPrompts::confirm(const QString &text, const QString &) {
    asked.append({QStringLiteral("confirm"), text, Icon::Question, {}});
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

bool RecordingPrompts::inputText(const QString &, const QString &label, QString &value) {
    asked.append({QStringLiteral("input"), label, Icon::Question, {}});
    if (inputs.isEmpty()) return false;
    value = inputs.takeFirst();
    return true;
}

QString RecordingPrompts::openFileName(const QString &title, const QString &, const QString &dir) {
    asked.append({QStringLiteral("open"), title, Icon::Question, dir});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

QString RecordingPrompts::saveFileName(const QString &title, const QString &, const QString &dir) {
    asked.append({QStringLiteral("save"), title, Icon::Question, dir});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

bool RecordingPrompts::chooseColor(uint32_t &rgb, const QString &title) {
    asked.append({QStringLiteral("color"), title, Icon::Question, {}});
    if (colors.isEmpty()) return false;
    rgb = colors.takeFirst();
    return true;
}

QStringList RecordingPrompts::messages() const {
    QStringList texts;
    for (const Entry &e : asked)
        if (e.kind == QLatin1String("message")) texts << e.text;
    return texts;
}
