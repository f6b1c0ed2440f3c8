#include "platform/linux/gtk/gtk_alert_presenter.h"

#include <gtk/gtk.h>

#include <string>

namespace ampora::linux_port {

void GtkAlertPresenter::runModal(std::string_view message, std::string_view button,
                                 std::string_view informativeText) {
    const std::string messageText(message);
    const std::string buttonText(button);
    const std::string informative(informativeText);

    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                               GTK_BUTTONS_NONE, "%s", messageText.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", informative.c_str());
    gtk_dialog_add_button(GTK_DIALOG(dialog), buttonText.c_str(), GTK_RESPONSE_OK);
    gtk_window_set_title(GTK_WINDOW(dialog), "Ampora");
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    shown_.push_back(dialog);
    gtk_dialog_run(GTK_DIALOG(dialog));
    shown_.pop_back();
    gtk_widget_destroy(dialog);
}

void GtkAlertPresenter::dismissAll() {
    for (GtkWidget* dialog : shown_) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_NONE);
}

}  // namespace ampora::linux_port
