app: app.c
    cc -o app app.c
