#pragma once

#include <QObject>

namespace vq {

// The data module: the datasets of the reference data and the comparisons live here, created
// before the main window and alive until the program ends.
class TdmMain : public QObject
{
    Q_OBJECT
public:
    explicit TdmMain(QObject *parent = nullptr);
    ~TdmMain() override;
};

} // namespace vq
