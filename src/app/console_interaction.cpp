#include "app/console_interaction.h"

#include "app/tfrm_message_editor.h"
#include "platform/process.h"

namespace sendrix::app {

namespace {

const char* const kUnattended = "(unbeaufsichtigter Betrieb)";

// One output line from any text: CR LF, CR and LF become one blank each,
// other control characters (ESC among them) "?".
std::string oneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            line += ' ';
        } else if (byte == '\n') {
            line += ' ';
        } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            line += '?';
        } else {
            line += static_cast<char>(byte);
        }
    }
    return line;
}

// A line without control characters goes out as it is (most protocol lines).
bool isPlainLine(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F)
            return false;
    }
    return true;
}

}  // namespace

ConsoleInteraction::ConsoleInteraction(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

void ConsoleInteraction::attach(const TfrmMessageEditor& form) {
    m_form = &form;
}

void ConsoleInteraction::writeOut(const std::string& line) {
    if (isPlainLine(line))
        m_out.write(line.data(), static_cast<std::streamsize>(line.size())) << '\n';
    else
        m_out << oneLine(line) << '\n';
}

void ConsoleInteraction::writeErr(const std::string& line) {
    m_err << oneLine(line) << std::endl;
}

// Standard output carries the protocol, each line once, written as soon as
// any control is repainted. The status bar only repeats protocol lines
// during a run, so it is not written separately.
void ConsoleInteraction::writeProtocol() {
    if (!m_form)
        return;
    const std::vector<std::string>& lines = m_form->protokollmemo.Lines;
    // A new run clears the protocol; its lines follow those of the run
    // before on the stream.
    for (std::size_t i = m_protocol.next(m_form->protokollmemo).first; i < lines.size(); ++i)
        writeOut(lines[i]);
}

void ConsoleInteraction::flushProtocol() {
    writeProtocol();
    // A calling program follows the run as it happens.
    m_out.flush();
}

void ConsoleInteraction::flush() {
    flushProtocol();
    m_out.flush();
    m_err.flush();
}

bool ConsoleInteraction::Confirm(const std::string& text) {
    flushProtocol();
    ++m_questionsDeclined;
    writeErr("Frage: " + text + " -> Nein " + kUnattended);
    return false;
}

// Nein: nothing is saved and the run goes on; no send was declined, so the
// question does not count among questionsDeclined.
Interaction::Answer ConsoleInteraction::YesNoCancel(const std::string& text) {
    flushProtocol();
    writeErr("Frage: " + text + " -> Nein " + kUnattended);
    return Answer::No;
}

void ConsoleInteraction::Notice(const std::string& text) {
    flushProtocol();
    writeErr("Hinweis: " + text);
}

void ConsoleInteraction::Warning(const std::string& text) {
    flushProtocol();
    writeErr("Warnung: " + text);
}

void ConsoleInteraction::ErrorBox(const std::string& text) {
    // The protocol up to the failure comes first, as on the screen.
    flush();
    ++m_errorsShown;
    writeErr("Fehler: " + text);
}

bool ConsoleInteraction::InputBox(const std::string& caption, const std::string& prompt, std::string&) {
    flushProtocol();
    writeErr("Eingabe \"" + caption + "\" (" + prompt + "): abgebrochen " + kUnattended);
    return false;
}

bool ConsoleInteraction::OpenFile(TFileDialog& dialog) {
    writeErr("Dateiauswahl \"" + dialog.Title + "\": abgebrochen " + kUnattended);
    return false;
}

bool ConsoleInteraction::SaveFile(TFileDialog& dialog) {
    writeErr("Dateiauswahl \"" + dialog.Title + "\": abgebrochen " + kUnattended);
    return false;
}

void ConsoleInteraction::SetClipboardText(const std::string& text) {
    m_clipboard = text;
}

void ConsoleInteraction::Repaint(ControlId control) {
    // A message's end repaints the grid, the progress bar and the protocol,
    // and the next step follows at once: its status repaint (a message
    // announced, a wait begun) or the end of the run flushes them with it,
    // one write per message instead of three.
    if (control == ControlId::empfaengerliste || control == ControlId::Progress ||
        control == ControlId::protokollmemo)
        writeProtocol();
    else
        flushProtocol();
}

void ConsoleInteraction::Focus(ControlId) {}

void ConsoleInteraction::CloseWindow() {
    m_closeRequested = true;
}

void ConsoleInteraction::ShellOpen(const std::string& file, const std::string&) {
    writeErr("Öffnen von \"" + file + "\" übersprungen " + kUnattended);
}

bool ConsoleInteraction::StartProcess(const std::string& program, const std::vector<std::string>& args) {
    return platform::startDetached(program, args);
}

void ConsoleInteraction::EndProcess(int status) {
    flush();
    throw ProcessEnd{status};
}

}  // namespace sendrix::app
