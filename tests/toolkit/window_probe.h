#pragma once

// A window object that records which of its virtual operations ran, with their arguments,
// and an extension that records what it was offered.

#include "toolkit/window.h"
#include "toolkit/window_extension.h"

#include <cstdio>
#include <string>
#include <vector>

using CallLog = std::vector<std::string>;

class ProbeWindow : public CGWindow {
public:
    explicit ProbeWindow(CallLog* log = nullptr) : Log(log ? log : &OwnLog) {}
    ~ProbeWindow() override {
        if (Handle && IsWindow(Handle))
            DestroyWindow(Handle);
    }

    int OnMenuCommand(int id) override {
        Log->push_back(Name + " menu " + std::to_string(id));
        if (ThrowOnMenu)
            throw 42;
        return 1;
    }
    void OnChildNotify(HWND from, UINT code, NMHDR* header) override {
        Log->push_back(Name + " child " + Hex(from) + " code " + std::to_string(code) + " hdr " +
                       Hex(header->hwndFrom) + " " + std::to_string(header->idFrom));
        LastHeader = header;
    }
    void OnReflectedNotify(UINT code, NMHDR* header) override {
        Log->push_back(Name + " reflected code " + std::to_string(code));
        LastHeader = header;
    }
    void OnTimer(UINT_PTR id) override { Log->push_back(Name + " timer " + std::to_string(id)); }
    int OnSize(int w, int h) override {
        if (LogSize)
            Log->push_back(Name + " size " + std::to_string(w) + "x" + std::to_string(h));
        return 0;
    }
    void OnClose() override {
        Log->push_back(Name + " close");
        if (CloseDestroys)
            CGWindow::OnClose();
    }
    void OnDrawItem(DRAWITEMSTRUCT* item) override {
        Log->push_back(Name + " drawitem " + std::to_string(item->CtlID));
    }
    void OnLButtonDown(int x, int y) override { Log->push_back(Name + " ldown" + Xy(x, y)); }
    void OnLButtonUp(int x, int y) override { Log->push_back(Name + " lup" + Xy(x, y)); }
    void OnLButtonDblClk(WPARAM keys, int x, int y) override {
        Log->push_back(Name + " ldbl " + std::to_string(keys) + Xy(x, y));
    }
    void OnMouseMove(WPARAM, int x, int y) override { Log->push_back(Name + " move" + Xy(x, y)); }
    void OnMouseWheel(int delta, WPARAM, int x, int y) override {
        Log->push_back(Name + " wheel " + std::to_string(delta) + Xy(x, y));
    }
    void OnScroll(int horizontal, int code, int position, HWND) override {
        Log->push_back(Name + " scroll " + std::to_string(horizontal) + " " + std::to_string(code) +
                       " " + std::to_string(position));
    }
    void OnPaint(HDC) override { Log->push_back(Name + " paint"); }
    void OnRegisterClass(WNDCLASSEXA& wc) override {
        ++Registrations;
        if (BreakRegistration)
            wc.cbSize = 0;
    }

    static std::string Hex(const void* p) {
        char text[32];
        std::snprintf(text, sizeof text, "%p", p);
        return text;
    }
    static std::string Xy(int x, int y) {
        return " " + std::to_string(x) + "," + std::to_string(y);
    }

    std::string Name = "win";
    CallLog OwnLog;
    CallLog* Log;
    NMHDR* LastHeader = nullptr;
    bool CloseDestroys = true;
    bool LogSize = false;
    bool ThrowOnMenu = false;
    bool BreakRegistration = false;
    int Registrations = 0;
};

class ProbeExtension : public CGWindowExtension {
public:
    ProbeExtension(CallLog* log, std::string name) : Log(log), Name(std::move(name)) {}

    int Attach(CGWinCore* owner) override {
        Log->push_back(Name + " attach");
        return CGWindowExtension::Attach(owner);
    }
    LRESULT OnMessage(HWND, UINT msg, WPARAM, LPARAM) override {
        if (msg == Watched) {
            Log->push_back(Name + " saw " + std::to_string(msg));
            return Answer;
        }
        return 0;
    }
    void OnPaint(HDC) override { Log->push_back(Name + " paint"); }

    CallLog* Log;
    std::string Name;
    UINT Watched = 0;
    LRESULT Answer = 0;
};
