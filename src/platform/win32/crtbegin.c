/* The DLL's start file in place of the compiler's crtbegin.o: it registers
 * the module's DWARF-2 unwind tables with the unwinder linked into the
 * module, and with nothing else.
 *
 * The compiler's own start file first asks GetModuleHandleA whether
 * libgcc_s_dw2-1.dll is loaded and, when another module of the process has
 * loaded it, calls LoadLibraryA on it and registers the tables there (and
 * FreeLibrary when unloading).  That runs among the static constructors,
 * inside the loader's notification and under the loader lock, and would hand
 * this module's unwind tables to another module's runtime.  The plug-in links
 * libgcc statically, so its own unwinder is always the right one.
 *
 * The build puts this object where the compiler looks for crtbegin.o, so the
 * link order stays the compiler's: dllcrt2.o, this file, the program's
 * objects and libraries, then crtend.o, which closes the unwind table and
 * calls __gcc_register_frame from its constructor.  Compiled without unwind
 * tables of its own, so that the marker below is the first byte of the
 * table. */

/* libgcc's struct object: six words on this target; kept larger to be safe. */
struct frame_object {
  void* words[16];
};

void __register_frame_info(const void* begin, struct frame_object* object);
void* __deregister_frame_info(const void* begin);
int atexit(void (*function)(void));

void __gcc_register_frame(void);
void __gcc_deregister_frame(void);

/* The start of the module's .eh_frame section (this object comes before
 * every other that has unwind tables). */
static const char eh_frame_begin[] __attribute__((used, section(".eh_frame"), aligned(4))) = {};

static struct frame_object frame_object;

void __gcc_register_frame(void) {
  __register_frame_info(eh_frame_begin, &frame_object);
  atexit(&__gcc_deregister_frame);
}

void __gcc_deregister_frame(void) { __deregister_frame_info(eh_frame_begin); }
