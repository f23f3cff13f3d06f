/* Added to the default linker script of the i686 release programs. The C
   runtime's objects carry call-frame tables that only an exception passing
   through their functions would read, and none does: they call back into the
   program only from the start-up code (an exception that leaves WinMain ends
   the program either way) and at exit (destructors, which may not throw). The
   unwinder's own tables and the C++ runtime's stay. */
SECTIONS
{
  /DISCARD/ : { *libmingwex.a:*(.eh_frame) *libmingw32.a:*(.eh_frame) *libmsvcrt.a:*(.eh_frame) }
}
INSERT BEFORE .eh_frame;
