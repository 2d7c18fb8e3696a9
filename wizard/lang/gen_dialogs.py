# Writes the dialog templates of the English language bundle
# (data/vexawizENU/dialogs/<id>.ui): python3 gen_dialogs.py OUTDIR [ID...].
import sys, html
def esc(t): return html.escape(t, quote=False)
def widget(cls, name, props):
    out = [f'<widget class="{cls}" name="{name}">']
    for k, (kind, v) in props.items():
        if kind == 'string': out.append(f'<property name="{k}"><string>{esc(v)}</string></property>')
        elif kind == 'bool': out.append(f'<property name="{k}"><bool>{v}</bool></property>')
        elif kind == 'number': out.append(f'<property name="{k}"><number>{v}</number></property>')
        elif kind == 'size': out.append(f'<property name="{k}"><size><width>{v[0]}</width><height>{v[1]}</height></size></property>')
    return out
def item(w): return ['<item>'] + w + ['</item>']
def build(kind, children, stretch=None):
    # kind: 'v' or 'h'; children: list of ('w', cls, name, props) | ('stretch',) | nested ('v'/'h', [...]);
    # stretch: the items' stretch factors, e.g. '0,1,0', so one item takes the room left over.
    cls = 'QVBoxLayout' if kind == 'v' else 'QHBoxLayout'
    out = [f'<layout class="{cls}"' + (f' stretch="{stretch}"' if stretch else '') + '>']
    for c in children:
        if c[0] == 'stretch':
            d = 'Qt::Vertical' if kind == 'v' else 'Qt::Horizontal'
            out += ['<item><spacer><property name="orientation"><enum>'+d+'</enum></property></spacer></item>']
        elif c[0] in ('v', 'h'):
            out += ['<item>'] + build(*c) + ['</item>']
        else:
            _, cls2, name, props = c
            out += item(widget(cls2, name, props) + ['</widget>'])
    out.append('</layout>')
    return out
def ui(name, title, layout, size=None):
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<ui version="4.0">', f'<class>{name}</class>',
           f'<widget class="QWidget" name="{name}">']
    out.append(f'<property name="windowTitle"><string>{esc(title)}</string></property>')
    if size: out.append(f'<property name="minimumSize"><size><width>{size[0]}</width><height>{size[1]}</height></size></property>')
    out += build(*layout)
    out += ['</widget>']
    out += ['<customwidgets>',
            '<customwidget><class>CvexaLabel</class><extends>QLabel</extends><header>wizard/ui/UiHelpers.h</header></customwidget>',
            '<customwidget><class>CvexaBitmapStatic</class><extends>QWidget</extends><header>wizard/ui/UiHelpers.h</header></customwidget>',
            '</customwidgets>', '</ui>', '']
    return '\n'.join(out)
def lbl(id, text, acc=None, cls='QLabel', wrap=True):
    p = {'text': ('string', text), 'accessibleName': ('string', acc or text.replace('&',''))}
    if wrap: p['wordWrap'] = ('bool', 'true')
    return ('w', cls, f'ctl_{id}', p)
def btn(id, text, cls='QPushButton'):
    return ('w', cls, f'ctl_{id}', {'text': ('string', text), 'accessibleName': ('string', text.replace('&',''))})
dialogs = {}
dialogs[160] = ui('Form160', 'Message', ('v', [
    ('h', [('w', 'QLabel', 'ctl_1132', {'accessibleName': ('string', 'Icon'), 'minimumSize': ('size', (32, 32))}),
           ('w', 'QPlainTextEdit', 'ctl_2001', {'readOnly': ('bool', 'true'), 'accessibleName': ('string', 'Message')})]),
    ('h', [btn(1112, "&Don't ask again"), ('stretch',), btn(161, 'OK'), btn(1, 'OK'), btn(2, 'Cancel')])]), (360, 160))
dialogs[116] = ui('Form116', 'Check for Updates', ('v', [
    lbl(1086, 'It has been a while since the Kv Orlune Disc software last looked for a newer version.'),
    lbl(1085, 'Check now? Your computer needs a connection to the internet.'),
    ('stretch',),
    ('h', [('stretch',), btn(1159, 'Check &Now'), btn(2, '&Later')])]), (380, 140))
dialogs[117] = ui('Form117', 'Checking for Updates', ('v', [
    lbl(1160, 'Asking the update server for the newest version of the Kv Orlune Disc software...')]), (340, 80))
dialogs[118] = ui('Form118', 'Update Available', ('v', [
    lbl(1084, 'A newer version of the Kv Orlune Disc software is available.'),
    lbl(1079, 'The download replaces nothing until you install it.'),
    lbl(1080, 'Choose what to do with the install package:'),
    ('w', 'QRadioButton', 'ctl_1161', {'text': ('string', 'Download and &save'), 'accessibleName': ('string', 'Download and save')}),
    ('w', 'QRadioButton', 'ctl_1162', {'text': ('string', 'Download and &open'), 'accessibleName': ('string', 'Download and open')}),
    lbl(1081, 'Opening the package closes the wizard.'),
    lbl(1164, ''  , acc='Status'),
    ('h', [('stretch',), btn(1, 'OK'), btn(2, 'Cancel')])]), (400, 240))
dialogs[119] = ui('Form119', 'Downloading', ('v', [
    lbl(1410, 'Downloading the Kv Orlune Disc install package.'),
    lbl(1409, 'Press Cancel to stop.'),
    ('w', 'QProgressBar', 'ctl_1165', {'accessibleName': ('string', 'Download progress'), 'value': ('number', 0)}),
    lbl(1166, '0% complete', acc='Percent complete'),
    ('h', [('stretch',), btn(2, 'Cancel')])]), (380, 150))
dialogs[102] = ui('Form102', 'About Kv Orlune Disc Creator', ('h', [
    ('w', 'CvexaBitmapStatic', 'ctl_1121', {'accessibleName': ('string', 'Artwork'), 'minimumSize': ('size', (110, 210))}),
    ('v', [lbl(1038, 'Kv Orlune Disc Creator', cls='CvexaLabel'),
           lbl(1041, 'Photos, music and titles on a disc for your TV and your computer.', cls='CvexaLabel'),
           lbl(1042, 'Copyright the Kv Orlune Disc authors.', cls='CvexaLabel'),
           lbl(1043, 'Help and updates: see the About page of the help.', cls='CvexaLabel'),
           lbl(1045, 'Version ', acc='Version', cls='CvexaLabel'),
           lbl(1046, '', acc='Credits', cls='CvexaLabel'),
           ('stretch',),
           ('h', [btn(3, '&Update...'), ('stretch',), btn(1, 'OK')])])]), (460, 240))
def place(id, acc, minh=0):
    props = {'accessibleName': ('string', acc)}
    if minh: props['minimumSize'] = ('size', (0, minh))
    return ('w', 'QWidget', f'ctl_{id}', props)
def edit(id, acc):
    return ('w', 'QLineEdit', f'ctl_{id}', {'accessibleName': ('string', acc)})
def radio(id, text):
    return ('w', 'QRadioButton', f'ctl_{id}', {'text': ('string', text), 'accessibleName': ('string', text.replace('&',''))})
def combo(id, acc):
    return ('w', 'QComboBox', f'ctl_{id}', {'accessibleName': ('string', acc)})
dialogs[107] = ui('Form107', 'Welcome', ('v', [
    lbl(1001, 'Welcome to the Kv Orlune Disc Creator', cls='CvexaLabel'),
    lbl(1134, 'This wizard makes a disc of your photos that plays as a slide show on a television and holds the photos for your computer.', cls='CvexaLabel'),
    lbl(1133, 'You will:', cls='CvexaLabel'),
    lbl(1132, '1. Choose your photos and put them in order.', cls='CvexaLabel'),
    lbl(1131, '2. Type a title for the slide show.', cls='CvexaLabel'),
    lbl(1011, '3. Choose music to play with it.', cls='CvexaLabel'),
    lbl(1010, '4. Choose the TV system, the time each photo is shown and your CD writer.', cls='CvexaLabel'),
    lbl(1009, '5. Check the summary and make the disc.', cls='CvexaLabel'),
    lbl(1008, 'Have a blank CD-R or CD-RW ready.', cls='CvexaLabel'),
    lbl(1006, 'Press Help on any page to learn more.', cls='CvexaLabel'),
    lbl(1007, 'To continue, click Next.', cls='CvexaLabel'),
    ('stretch',)]), (460, 300))
dialogs[133] = ui('Form133', 'Select Pictures', ('v', [
    ('h', [place(1114, 'Album tools'), ('stretch',), btn(1092, '&Add Images...')]),
    ('w', 'QFrame', 'ctl_1112', {'accessibleName': ('string', 'Album'), 'minimumSize': ('size', (300, 200))}),
    place(1103, 'Album pane', 24)], '0,1,0'), (460, 300))
dialogs[134] = ui('Form134', 'Title Screen', ('v', [
    ('h', [('v', [lbl(1020, 'Type up to three lines. A line that does not fit the title picture is not taken.'),
                  edit(1022, 'Title line 1'), edit(1023, 'Title line 2'), edit(1024, 'Title line 3'), ('stretch',)]),
           ('w', 'CvexaBitmapStatic', 'ctl_1119', {'accessibleName': ('string', 'Title preview'), 'minimumSize': ('size', (240, 180))})]),
    place(1126, 'Disc usage', 24)]), (460, 300))
dialogs[137] = ui('Form137', 'Music', ('v', [
    radio(1087, 'No m&usic'),
    ('h', [radio(1029, '&Music that comes with the software:'), combo(1031, 'Music that comes with the software')]),
    ('h', [radio(1030, 'My own music &file:'), edit(1032, 'My own music file'), btn(1033, 'Bro&wse...')]),
    ('h', [radio(1125, 'A track of an audio &CD:'), edit(1035, 'Audio CD track'), btn(1034, 'B&rowse...')]),
    ('h', [btn(1088, '&Play'), ('stretch',)]),
    ('stretch',),
    place(1127, 'Disc usage', 24)]), (460, 300))
dialogs[145] = ui('Form145', 'Settings', ('v', [
    lbl(1061, 'TV system of the Video CD:'),
    ('h', [radio(1058, 'N&TSC (North America, Japan)'), radio(1059, '&PAL (Europe, Asia, Australia)')]),
    lbl(1060, 'Countries that use SECAM play PAL discs.'),
    ('h', [lbl(1055, 'Seconds each picture is shown:', wrap=False), combo(1053, 'Seconds each picture is shown'), ('stretch',)]),
    lbl(1089, 'CD writer:'),
    ('h', [lbl(1135, 'None', acc='CD writer', wrap=False), ('stretch',), btn(1134, '&Change Writer')]),
    ('h', [lbl(1056, 'Recording speed:', wrap=False), combo(1057, 'Recording speed'), ('stretch',)]),
    lbl(1111, 'A slower speed is safer with older discs and writers.'),
    ('stretch',),
    place(1128, 'Disc usage', 24)]), (460, 300))
dialogs[146] = ui('Form146', 'Make Disc', ('v', [
    lbl(1130, 'Ready to make your disc', cls='CvexaLabel'),
    ('w', 'QPlainTextEdit', 'ctl_1067', {'readOnly': ('bool', 'true'), 'accessibleName': ('string', 'Summary')}),
    lbl(1063, 'Put a blank CD-R or CD-RW in the writer and click Make Disc.'),
    place(1129, 'Disc usage', 24)]), (460, 300))
dialogs[155] = ui('Form155', 'Add Images', ('v', [
    ('h', [('w', 'QGroupBox', 'ctl_1094', {'title': ('string', 'Your folders'), 'accessibleName': ('string', 'Your folders')}),
           ('w', 'QGroupBox', 'ctl_1093', {'title': ('string', 'Your album'), 'accessibleName': ('string', 'Your album')})]),
    ('h', [btn(9, '&Help'), ('stretch',), btn(1, 'OK'), btn(2, 'Cancel'), btn(1091, '&Apply')])]), (660, 392))
import os
outdir = sys.argv[1]
only = [int(x) for x in sys.argv[2:]] if len(sys.argv) > 2 else None
for k, v in dialogs.items():
    if only and k not in only: continue
    open(os.path.join(outdir, f'{k}.ui'), 'w').write(v)
