#pragma once

#include <QComboBox>

#include <functional>

// Combo1, the port list. It says when it is about to open, so that its entries can show the
// devices present at that moment.
class PortList final : public QComboBox {
public:
    using QComboBox::QComboBox;

    void onOpening(std::function<void()> handler) { opening_ = std::move(handler); }
    void showPopup() override
    {
        if (opening_)
            opening_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> opening_;
};
