// The owner-drawn rows of the picker controls: each control keeps its drawing rules in its own
// DrawRow and its fixed row height in RowHeight; this delegate hands Qt's painting to them.
#pragma once

#include <QPainter>
#include <QStyledItemDelegate>

template <class Control>
class OwnerDrawnRowDelegate : public QStyledItemDelegate {
public:
    // hoverSelects: the row under the mouse is drawn as selected (an open drop-down list).
    explicit OwnerDrawnRowDelegate(Control* control, bool hoverSelects = false)
        : QStyledItemDelegate(control), control_(control), hoverSelects_(hoverSelects) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected =
            (option.state & QStyle::State_Selected) || (hoverSelects_ && (option.state & QStyle::State_MouseOver));
        painter->save();
        control_->DrawRow(*painter, option.rect, index.row(), selected, option.palette);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), control_->RowHeight()};
    }

private:
    Control* control_;
    bool hoverSelects_;
};
