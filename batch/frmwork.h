// The hidden work window: never shown, it carries the picture box picMain on
// which one image is loaded, reduced and read by the encoder. A fresh one is
// made for every image and dropped afterwards.
#pragma once

#include <QWidget>

#include "shell/picture.h"

class frmWork : public QWidget {
    Q_OBJECT

public:
    explicit frmWork(QWidget* parent = nullptr);

    basMain::PictureBox picMain;
};
