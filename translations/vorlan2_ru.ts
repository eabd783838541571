<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Vorlan::Widget</name>
    <message>
        <location filename="../panel/widget.cpp" line="+35"/>
        <source>%1:%2</source>
        <translation>%1:%2</translation>
    </message>
    <message>
        <location line="+90"/>
        <source>Warning!</source>
        <translation>Внимание!</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>You close the control panel, which is in the manual control mode. Would you like to switch the controller in local mode?</source>
        <translation>Вы закрываете панель управления, находящуюся в режиме диспетчерского управления. Перевести контроллер в локальный режим?</translation>
    </message>
</context>
<context>
    <name>Vorlan::Widget::Private</name>
    <message>
        <location filename="../panel/controller/widget_p.cpp" line="+67"/>
        <source>s</source>
        <translation> с</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The time of automatic switch to local mode, if the operator is not active</source>
        <translation>Время до автоматического перевода контроллера в локальный режим при бездействии оператора</translation>
    </message>
    <message>
        <location line="+64"/>
        <source>%1:%2</source>
        <translation>%1:%2</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Set stage number %1: %2</source>
        <translation>Включить фазу %1: %2</translation>
    </message>
    <message>
        <location line="+142"/>
        <source>Disconnected</source>
        <translation>Нет связи</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Stage %1</source>
        <translation>Фаза %1</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Dark</source>
        <translation>ОС</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Power switch level</source>
        <translation>Уровень силовых ключей</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>YF</source>
        <translation>ЖМ</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Signaling groups level</source>
        <translation>Уровень сигнальных групп</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Unknown state</source>
        <translation>Неизвестное состояние</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location line="+3"/>
        <source> DC: %1</source>
        <translation> ДУ: %1</translation>
    </message>
    <message>
        <location line="+5"/>
        <source> Sending command: %1</source>
        <translation> Отправка команды: %1</translation>
    </message>
</context>
<context>
    <name>widget</name>
    <message>
        <location filename="../panel/controller/panelform.ui" line="+53"/>
        <source>DC</source>
        <translation>ДУ</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Activate the dispatch control</source>
        <translation>Включить диспетчерское управление</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>YF</source>
        <translation>ЖМ</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Manual control  to flashing yellow</source>
        <translation>Ручное управление: включить жёлтое мигание</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Dark</source>
        <translation>ОС</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Manual control  to dark</source>
        <translation>Ручное управление: отключить светофоры</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Restart</source>
        <translation>Перезапуск</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Restart the controller</source>
        <translation>Перезапустить контроллер</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Sound</source>
        <translation>Звук</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Alarm sound off/on</source>
        <translation>Звуковой сигнал тревоги выкл./вкл.</translation>
    </message>
</context>
</TS>
