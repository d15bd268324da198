#pragma once

#include <QSize>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/text_item.h"
#include "ui/views/item_view.h"

class QLabel;
class QPlainTextEdit;
class QScrollArea;
class QTextEdit;

// Plain text, read-only, scrolling both ways.
class TextItemView final : public ItemViewBase<cb::TextItem> {
public:
    explicit TextItemView(QWidget* parent);
    ~TextItemView() override;
    QWidget* viewWindow() const override;
    QPlainTextEdit& editor() const { return *edit_; }

protected:
    void show(const cb::TextItem* item) override;

private:
    QPlainTextEdit* edit_;
};

// Rich text shown formatted, lines wrapped at the window's width.
class RtfItemView final : public ItemViewBase<cb::RtfItem> {
public:
    explicit RtfItemView(QWidget* parent);
    ~RtfItemView() override;
    QWidget* viewWindow() const override;
    QTextEdit& editor() const { return *edit_; }

protected:
    void show(const cb::RtfItem* item) override;

private:
    QTextEdit* edit_;
};

// A picture at the top-left corner, decoded once, scrolling both ways when larger than the
// window. Pictures that cannot be decoded show nothing.
class BitmapItemView final : public ItemViewBase<cb::BitmapItem> {
public:
    explicit BitmapItemView(QWidget* parent);
    ~BitmapItemView() override;
    QWidget* viewWindow() const override;
    QScrollArea& area() const { return *area_; }
    QSize pictureSize() const;

protected:
    void show(const cb::BitmapItem* item) override;

private:
    QScrollArea* area_;
    QLabel* picture_;
};
