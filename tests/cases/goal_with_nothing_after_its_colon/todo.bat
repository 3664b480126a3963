cmd
