#pragma once
// The lines of the list the user sees. The window implements it with a list control,
// the terminal front end and the tests with their own doubles. Line i shows entry i.

#include <string>

namespace vireo {

enum Column { ColFile, ColSize, ColStatus, ColElapsed, ColLeft, ColSpeed, ColAttemp, ColAddress };
inline constexpr int kColumnCount = 8;

class ListLines {
public:
    virtual ~ListLines() = default;
    virtual void AppendLine(const std::string& text, int image) = 0;
    virtual void SetText(int line, int column, const std::string& text) = 0;
    virtual void SetImage(int line, int image) = 0;
    virtual void DeleteLine(int line) = 0;
    // The text shown when the pointer rests on the line (why it failed); empty: none.
    virtual void SetTip(int line, const std::string& text) {
        (void)line;
        (void)text;
    }
    virtual int SelectedLine() const = 0; // -1 when none
    virtual void SelectLine(int line) = 0;
};

} // namespace vireo
