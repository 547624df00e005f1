#include "app/application.h"
#include "app/mainwindow.h"

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    auto* window = new MainWindow();
    window->show();
    const int result = app.exec();
    delete window;
    return result;
}
