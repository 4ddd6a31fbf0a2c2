// A multi-line text control whose text is the exact bytes last set.
#pragma once

#include <QPlainTextEdit>
#include <string>

namespace framework {

// The display splits lines at CR LF, CR or LF, but Text() never sees that conversion: the byte
// string kept here is what the wizard wrote, so a log compared byte for byte stays exact.
class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);
    ~TMemo() override;

    std::string Text() const;
    void SetText(const std::string& text);
    void Clear();

private:
    void TakeTypedText();

    std::string text_;
    bool setting_ = false;
};

}  // namespace framework
