#pragma once

#include <QWidget>

// Shape1: a small circle filled solid with the colour of the port state.
class Lamp final : public QWidget {
public:
    explicit Lamp(QWidget* parent = nullptr) : QWidget(parent) {}
    void setFillColor(QRgb colour);
    QRgb fillColor() const { return colour_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRgb colour_ = 0xFFFFFFFFu;
};
