#pragma once

#include <QWidget>

// One page of the options dialog. A page fills its controls from the configuration the first
// time it is shown and keeps its own copies from then on; only a page that has been shown is
// checked and written when the dialog closes with OK, so a page the user never opened cannot
// change anything.
class OptionPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    bool wasShown() const { return initialized_; }

    // Checks the user's input; on failure the page has told the user (and put the focus on the
    // field) and nothing may be written.
    virtual bool validate() = 0;
    // Writes the page's copies to the configuration. Only called after every shown page has
    // passed validate().
    virtual void apply() = 0;

protected:
    virtual void initialize() = 0;
    void showEvent(QShowEvent* event) override;

private:
    bool initialized_ = false;
};
