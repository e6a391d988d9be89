#include "app/decorations.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace {

const char *const DecorationProperty = "decoration";

QWidgetList accessibleChildren(const QWidget *widget)
{
    QWidgetList children;
    for (QObject *object : widget->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (child && !child->isWindow() && !isDecoration(child))
            children.append(child);
    }
    return children;
}

// A window or frame as Qt describes it, minus its decorations.
class WithoutDecorations : public QAccessibleWidget
{
public:
    WithoutDecorations(QWidget *widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    int childCount() const override { return int(accessibleChildren(widget()).size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QWidgetList children = accessibleChildren(widget());
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index])
                                                     : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(accessibleChildren(widget()).indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
    }
    QString text(QAccessible::Text t) const override
    {
        const auto *frame = qobject_cast<const QGroupBox *>(widget());
        if (t == QAccessible::Name && frame && widget()->accessibleName().isEmpty())
            return frame->title();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *describeWithoutDecorations(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    // Asked once per class up the line; answered for the object's own class only.
    if (!widget || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    const QWidgetList all = widget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    if (std::none_of(all.begin(), all.end(), isDecoration))
        return nullptr;
    return new WithoutDecorations(widget, qobject_cast<QGroupBox *>(widget) ? QAccessible::Grouping
                                                                            : QAccessible::Client);
}

} // namespace

void markAsDecoration(QWidget *widget)
{
    static const bool installed = (QAccessible::installFactory(describeWithoutDecorations), true);
    Q_UNUSED(installed);
    widget->setProperty(DecorationProperty, true);
}

bool isDecoration(const QWidget *widget)
{
    return widget->property(DecorationProperty).toBool();
}
